#include "ui/dialogs/AboutForm.h"

#include <QDesktopServices>
#include <QUrl>

#include "ui/dialogs/SharedDialog.h"
#include "ui_AboutForm.h"

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TfrmAbout>()) {
    m_ui->setupUi(this);
    QFont product = m_ui->lblProduct->font();
    product.setBold(true);
    product.setPointSizeF(product.pointSizeF() * 1.3);
    m_ui->lblProduct->setFont(product);
    m_ui->lblProduct->setText(QStringLiteral("Tavrin Quillvane 1.5.117"));
    m_ui->lblCopyright->setText(QStringLiteral("Copyright \u00A9 2026 Tavrin Group"));

    // The Qt line names the library actually loaded, which may be newer than the one built with.
    const QString qtSite = QStringLiteral("https://www.qt.io/");
    m_ui->lblQt->setText(QStringLiteral("1. Qt %1, licensed under the GNU LGPL v3,<br>"
                                        "<a href=\"%2\">%2</a>")
                             .arg(QString::fromLatin1(qVersion()).toHtmlEscaped(), qtSite));
    connect(m_ui->lblQt, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmAbout::~TfrmAbout() = default;

TfrmAbout& TfrmAbout::Instance() {
    return SharedDialog<TfrmAbout>();
}
