#pragma once

#include <memory>
#include <string>

#include <QDialog>

namespace Ui {
class TfrmSettings;
}
class TQVSettings;

// The application preferences. The dialog edits a settings object only; storing it is the
// caller's business. The one thing applied at once, on OK through SaveToSettings, is the
// autostart entry.
class TfrmSettings : public QDialog {
    Q_OBJECT

public:
    explicit TfrmSettings(QWidget* parent = nullptr);
    ~TfrmSettings() override;

    static TfrmSettings& Instance();

    // Sets every control from `settings`, the autostart box from the autostart entry as it is
    // now, and refills the language list from the tables the global Environment has loaded.
    void LoadFromSettings(const TQVSettings& settings);
    // Stores every control into `settings` and writes or removes the autostart entry.
    void SaveToSettings(TQVSettings& settings) const;

    // The id of the language table chosen in the list; empty when none is chosen.
    std::string ChosenLanguageId() const;

private:
    void FillLanguages(const std::string& currentId);
    void TrayIconClicked();

    std::unique_ptr<Ui::TfrmSettings> m_ui;
};
