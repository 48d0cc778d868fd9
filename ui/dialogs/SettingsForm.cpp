#include "ui/dialogs/SettingsForm.h"

#include "model/QVEnvironment.h"
#include "model/QVSettings.h"
#include "model/QVStringKeeper.h"
#include "ui/Prompter.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_SettingsForm.h"

namespace {

// The table the program ships with; every other one is a translation of it.
constexpr const char* DefaultLanguageId = "en";

} // namespace

TfrmSettings::TfrmSettings(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmSettings>()) {
    m_ui->setupUi(this);
    // clicked, unlike toggled, comes from the user only, so loading the settings says nothing.
    connect(m_ui->cbTrayIcon, &QCheckBox::clicked, this, &TfrmSettings::TrayIconClicked);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmSettings::~TfrmSettings() = default;

TfrmSettings& TfrmSettings::Instance() {
    return SharedDialog<TfrmSettings>();
}

void TfrmSettings::LoadFromSettings(const TQVSettings& settings) {
    m_ui->cbShowA2A->setChecked(settings.ShowA2A);
    m_ui->cbHideEmptyMonths->setChecked(!settings.ShowEmptyMonths);
    m_ui->cbTrayIcon->setChecked(settings.UseTray);
    m_ui->cbHideOnMinimize->setChecked(settings.HideOnMinimize);
    m_ui->cbHideOnClose->setChecked(settings.HideOnClose);
    m_ui->cbNotifications->setChecked(settings.Notifications);
    m_ui->cbShowAdjustments->setChecked(settings.ShowBalanceAdjustments);
    m_ui->cbAutoOpenLast->setChecked(settings.AutoOpenLast);
    m_ui->cbTrayDblClickAction->setCurrentIndex(settings.TrayDblClick <= 1 ? settings.TrayDblClick
                                                                           : 2);
    m_ui->cbRunOnSystemStartup->setChecked(Environment->IsAutorunEnabled());
    FillLanguages(settings.Lang);
}

void TfrmSettings::FillLanguages(const std::string& currentId) {
    QComboBox& list = *m_ui->cbLanguage;
    list.clear();
    for (int i = 0; i < Environment->LanguageCount(); ++i) {
        const TQVStringKeeper& language = *Environment->GetLanguage(i);
        const QString title = language.Id == DefaultLanguageId
                                  ? QStringLiteral("English (default)")
                                  : QVUIUtils::ShownName(language.Title);
        list.addItem(title, QString::fromStdString(language.Id));
    }
    // A setting naming no loaded table falls back to the table in use, as the language scan does.
    int index = list.findData(QString::fromStdString(currentId));
    if (index < 0 && Environment->CurrentLanguage != nullptr) {
        index = list.findData(QString::fromStdString(Environment->CurrentLanguage->Id));
    }
    list.setCurrentIndex(index < 0 && list.count() > 0 ? 0 : index);
}

void TfrmSettings::SaveToSettings(TQVSettings& settings) const {
    settings.ShowA2A = m_ui->cbShowA2A->isChecked();
    settings.ShowEmptyMonths = !m_ui->cbHideEmptyMonths->isChecked();
    settings.UseTray = m_ui->cbTrayIcon->isChecked();
    settings.HideOnMinimize = m_ui->cbHideOnMinimize->isChecked();
    settings.HideOnClose = m_ui->cbHideOnClose->isChecked();
    settings.Notifications = m_ui->cbNotifications->isChecked();
    settings.ShowBalanceAdjustments = m_ui->cbShowAdjustments->isChecked();
    settings.AutoOpenLast = m_ui->cbAutoOpenLast->isChecked();
    const int action = m_ui->cbTrayDblClickAction->currentIndex();
    settings.TrayDblClick = action == 0 || action == 1 ? static_cast<std::uint8_t>(action) : 2;
    const std::string language = ChosenLanguageId();
    if (!language.empty()) {
        settings.Lang = language;
    }
    // Written every time, so that an entry changed or removed behind the program's back
    // follows the box again.
    if (m_ui->cbRunOnSystemStartup->isChecked()) {
        Environment->EnableAutorun();
    } else {
        Environment->DisableAutorun();
    }
}

std::string TfrmSettings::ChosenLanguageId() const {
    return m_ui->cbLanguage->currentData().toString().toStdString();
}

void TfrmSettings::TrayIconClicked() {
    Prompter::Show(this, Prompter::Kind::Warning,
                   QStringLiteral("Changing this feature requires restart of the application"));
}
