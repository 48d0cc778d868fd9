#include "support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

TTempDir::TTempDir() {
    std::error_code error;
    std::string base = std::filesystem::temp_directory_path(error).string();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::string pattern = (error || base.empty() ? std::string("/tmp") : base) + "/qvtest-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp(" << pattern << ") failed: " << std::strerror(errno);
    else
        FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code error;
    if (!FPath.empty())
        std::filesystem::remove_all(FPath, error);
}

TScopedEnv::TScopedEnv(std::string name, std::optional<std::string> value)
    : FName(std::move(name)) {
    if (const char* old = std::getenv(FName.c_str()))
        FSaved = old;
    if (value)
        setenv(FName.c_str(), value->c_str(), 1);
    else
        unsetenv(FName.c_str());
}

TScopedEnv::~TScopedEnv() {
    if (FSaved)
        setenv(FName.c_str(), FSaved->c_str(), 1);
    else
        unsetenv(FName.c_str());
}
