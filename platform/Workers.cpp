// Provisional: sequential stand-in until the ordered workers land.
#include "platform/Workers.h"

namespace Workers {

std::function<void(unsigned index)> StartFault;

unsigned UsableCpus() {
    return 1;
}

unsigned Count(unsigned) {
    return 0;
}

unsigned CgroupCpuQuota(std::string_view, const std::function<std::string(const std::string&)>&) {
    return 0;
}

namespace Detail {
void RunBoxes(unsigned, std::size_t,
              const std::function<std::unique_ptr<TItemBox>(std::size_t&)>& make,
              const std::function<void(TItemBox&)>& work,
              const std::function<void(TItemBox&)>& take) {
    for (;;) {
        std::size_t bytes = 0;
        std::unique_ptr<TItemBox> box = make(bytes);
        if (!box)
            return;
        work(*box);
        take(*box);
    }
}
} // namespace Detail

TBackgroundTask::~TBackgroundTask() {
    if (FThread.joinable())
        FThread.join();
}

bool TBackgroundTask::Start(std::function<void()> run) {
    FThread = std::jthread([this, run = std::move(run)] {
        try {
            run();
        } catch (...) {
            FError = std::current_exception();
        }
    });
    return true;
}

void TBackgroundTask::Wait() {
    if (FThread.joinable())
        FThread.join();
    if (FError) {
        auto error = FError;
        FError = nullptr;
        std::rethrow_exception(error);
    }
}

} // namespace Workers
