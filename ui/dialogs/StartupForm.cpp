#include "ui/dialogs/StartupForm.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <QAbstractTableModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QTextBoundaryFinder>

#include "platform/FileSystem.h"
#include "storage/QVBase.h"
#include "ui/Prompter.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_StartupForm.h"

// The recent budgets: a title and a location per row. Rows follow the titles; a title without a
// location shows an empty location and cannot be opened.
class TRecentModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void Fill(const std::vector<std::u16string>& titles, const std::vector<std::u16string>& paths) {
        beginResetModel();
        FTitles = titles;
        FPaths = paths;
        endResetModel();
    }
    void Clear() {
        beginResetModel();
        FTitles.clear();
        FPaths.clear();
        endResetModel();
    }
    bool HasPath(int row) const { return row >= 0 && row < static_cast<int>(FPaths.size()); }
    QString Path(int row) const { return HasPath(row) ? QVUIUtils::ToQ(FPaths[row]) : QString(); }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(FTitles.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 2;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
            return {};
        }
        // On one line, as a row shows it.
        const QString text = QVUIUtils::OneLine(
            index.column() == 0 ? QVUIUtils::ToQ(FTitles[index.row()]) : Path(index.row()));
        return role == Qt::ToolTipRole ? QVUIUtils::WholeTextToolTip(text) : text;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return {};
        }
        return section == 0 ? QStringLiteral("Title") : QStringLiteral("Location");
    }

private:
    std::vector<std::u16string> FTitles;
    std::vector<std::u16string> FPaths;
};

namespace {

const QString Extension = QStringLiteral(".qn");

// The longest file name that `folder`'s file system takes, in encoded bytes.
qsizetype NameMax(const QString& folder) {
    const long max = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return max > 0 ? static_cast<qsizetype>(max) : NAME_MAX;
}

// The file name proposed in `folder` for a new budget titled `title`: the title as typed, with
// the extension. A long title would make a name the file system refuses, and the first save would
// fail, so the name keeps as much of the title as fits, cut between whole characters; blanks and
// dots where the cut falls would stand before the extension, and are dropped.
QString ProposedName(const QString& folder, const QString& title) {
    const qsizetype room = NameMax(folder) - QFile::encodeName(Extension).size();
    if (QFile::encodeName(title).size() <= room) {
        return title + Extension;
    }
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, title);
    qsizetype fits = 0;
    qsizetype used = 0;
    for (qsizetype end = characters.toNextBoundary(); end > 0; end = characters.toNextBoundary()) {
        used += QFile::encodeName(title.mid(fits, end - fits)).size();
        if (used > room) {
            break;
        }
        fits = end;
    }
    while (fits > 0 && (title[fits - 1].isSpace() || title[fits - 1] == u'.')) {
        --fits;
    }
    return title.left(fits) + Extension;
}

// Why no file can be made in `folder` (the system's own words), or an empty text when one can:
// a file is created there and removed again, as the first save will make its own beside the
// budget.
QString CannotCreateIn(const QString& folder) {
    QByteArray probe = QFile::encodeName(folder) + "/.quillvane-check-XXXXXX";
    const int file = ::mkstemp(probe.data());
    if (file < 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    ::close(file);
    ::unlink(probe.constData());
    return {};
}

// The refusal of a location that is a folder where a budget file is wanted.
QString IsAFolder(const QString& location) {
    return QStringLiteral("\"%1\" is a folder, not a budget file")
        .arg(QVUIUtils::Quote(location, Qt::ElideMiddle));
}

} // namespace

TfrmStartup::TfrmStartup(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmStartup>()), FRecent(new TRecentModel(this)) {
    m_ui->setupUi(this);
    m_ui->imgTop->installEventFilter(this);

    m_ui->tvRecentItems->setModel(FRecent);
    QHeaderView* header = m_ui->tvRecentItems->header();
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    header->resizeSection(0, fontMetrics().averageCharWidth() * 18);
    // The row the keys move to is the row chosen: a list that only framed it would leave OK doing
    // nothing for a user without a mouse.
    QItemSelectionModel* selection = m_ui->tvRecentItems->selectionModel();
    connect(selection, &QItemSelectionModel::currentRowChanged, this,
            [selection](const QModelIndex& current) {
                if (current.isValid())
                    selection->select(current, QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
            });

    connect(m_ui->editTitle, &QLineEdit::textChanged, this, &TfrmStartup::TitleChanged);
    connect(m_ui->btnBrowseNew, &QPushButton::clicked, this, &TfrmStartup::BrowseNew);
    connect(m_ui->btnBrowseOpen, &QPushButton::clicked, this, &TfrmStartup::BrowseOpen);
    connect(m_ui->btnOKNew, &QPushButton::clicked, this, &TfrmStartup::AcceptNew);
    connect(m_ui->btnOKOpen, &QPushButton::clicked, this, &TfrmStartup::AcceptOpen);
    connect(m_ui->btnOKRecent, &QPushButton::clicked, this, &TfrmStartup::AcceptRecent);
    for (QPushButton* cancel : {m_ui->btnCancelNew, m_ui->btnCancelOpen, m_ui->btnCancelRecent}) {
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    }
    connect(m_ui->PageControl, &QTabWidget::currentChanged, this, &TfrmStartup::CurrentTabChanged);
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setToolTip(button->text());
    }
}

TfrmStartup::~TfrmStartup() = default;

TfrmStartup& TfrmStartup::Instance() {
    return SharedDialog<TfrmStartup>();
}

void TfrmStartup::Setup(bool showNew, bool showOpen, bool showRecent,
                        const std::vector<std::u16string>* titles,
                        const std::vector<std::u16string>* paths, bool autoOpenLast) {
    QTabWidget* pages = m_ui->PageControl;
    pages->setTabVisible(pages->indexOf(m_ui->tabNew), showNew);
    pages->setTabVisible(pages->indexOf(m_ui->tabOpenExisting), showOpen);
    pages->setTabVisible(pages->indexOf(m_ui->tabOpenRecent), showRecent);

    FResultKind = TStartupResult::None;
    FFileName.clear();
    FReplaceConfirmed.clear();

    // Emptying the title rewrites the location, so the location is emptied after it.
    m_ui->editOpenLocation->clear();
    m_ui->editTitle->clear();
    m_ui->editLocation->clear();

    FRecent->Clear();
    FDefaultFolder = QString::fromStdString(QVBase::GetDocumentsFolder());
    if (FDefaultFolder.isEmpty()) {
        // Without a documents folder or desktop the location would start at the root folder,
        // where a user cannot write.
        FDefaultFolder = QDir::homePath();
    }
    if (titles != nullptr && paths != nullptr) {
        FRecent->Fill(*titles, *paths);
    }
    m_ui->cbAutoOpenLastEdited->setChecked(autoOpenLast);
}

QString TfrmStartup::BudgetTitle() const {
    return m_ui->editTitle->text();
}

bool TfrmStartup::AutoOpenLast() const {
    return m_ui->cbAutoOpenLastEdited->isChecked();
}

void TfrmStartup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    QTabWidget* pages = m_ui->PageControl;
    for (int i = 0; i < pages->count(); ++i) {
        if (pages->isTabVisible(i)) {
            pages->setCurrentIndex(i);
            break;
        }
    }
    CurrentTabChanged(pages->currentIndex());
    if (pages->currentWidget() == m_ui->tabNew) {
        m_ui->editTitle->setText(QStringLiteral("Untitled"));
        m_ui->editTitle->selectAll();
        m_ui->editTitle->setFocus();
    } else if (pages->currentWidget() == m_ui->tabOpenExisting) {
        m_ui->editOpenLocation->setFocus();
    }
}

bool TfrmStartup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->imgTop && event->type() == QEvent::Paint) {
        PaintBanner();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmStartup::TitleChanged(const QString& title) {
    // The title is taken as typed, only shortened to a length the file system takes: any other
    // name it refuses shows up when the budget is first saved, with the file system's message.
    m_ui->editLocation->setText(FDefaultFolder + QLatin1Char('/') +
                                ProposedName(FDefaultFolder, title));
}

void TfrmStartup::BrowseNew() {
    const QString chosen =
        Prompter::FileName(this, Prompter::FileMode::Save, FDefaultFolder,
                           ProposedName(FDefaultFolder, m_ui->editTitle->text()));
    if (!chosen.isEmpty()) {
        // The file chooser has already asked whether to replace a file that is there.
        FReplaceConfirmed = FileSystem::FileExists(chosen.toStdString()) ? chosen : QString();
        m_ui->editLocation->setText(chosen);
    }
}

void TfrmStartup::BrowseOpen() {
    const QString chosen = Prompter::FileName(this, Prompter::FileMode::Open, FDefaultFolder, {});
    if (!chosen.isEmpty()) {
        m_ui->editOpenLocation->setText(chosen);
    }
}

void TfrmStartup::AcceptNew() {
    const QString typed = m_ui->editLocation->text();
    if (typed.trimmed().isEmpty()) {
        Prompter::Error(this, QStringLiteral("Please provide a location for the new budget"));
        m_ui->editLocation->setFocus();
        return;
    }
    // A location typed without its folder lies in the folder the dialog proposes, not wherever
    // the program happened to be started.
    const QString location = QDir(FDefaultFolder).absoluteFilePath(typed);
    const QFileInfo file(location);
    if (file.isDir()) {
        Prompter::Error(this, IsAFolder(typed));
        m_ui->editLocation->setFocus();
        return;
    }
    // Nothing is written before the first save; a folder that takes no file would only show
    // then, after the user's work. So it is tried now.
    if (const QString cause = CannotCreateIn(file.absolutePath()); !cause.isEmpty()) {
        Prompter::Error(this,
                        QStringLiteral("The new budget cannot be created in the folder "
                                       "\"%1\": %2")
                            .arg(QVUIUtils::Quote(file.absolutePath(), Qt::ElideMiddle), cause));
        m_ui->editLocation->setFocus();
        return;
    }
    // A new budget is saved over whatever the location holds, so an existing file is only
    // given up when the user says so.
    if (FileSystem::FileExists(location.toStdString()) && location != FReplaceConfirmed) {
        const QString question =
            QStringLiteral("The file \"%1\" already exists. Replace it with a new, empty budget?")
                .arg(QVUIUtils::Quote(location, Qt::ElideMiddle));
        if (Prompter::Show(this, Prompter::Kind::Question, question,
                           QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            return;
        }
    }
    Finish(TStartupResult::NewBudget, location);
}

void TfrmStartup::AcceptOpen() {
    const QString location = m_ui->editOpenLocation->text();
    if (QFileInfo(location).isDir()) {
        Prompter::Error(this, IsAFolder(location));
        return;
    }
    if (!FileSystem::FileExists(location.toStdString())) {
        Prompter::Error(this, QStringLiteral("The specified file (\"") +
                                  QVUIUtils::Quote(location, Qt::ElideMiddle) +
                                  QStringLiteral("\") not found"));
        return;
    }
    Finish(TStartupResult::OpenExisting, location);
}

void TfrmStartup::AcceptRecent() {
    const QModelIndexList rows = m_ui->tvRecentItems->selectionModel()->selectedRows();
    if (rows.isEmpty() || !FRecent->HasPath(rows.first().row())) {
        return;
    }
    Finish(TStartupResult::OpenRecent, FRecent->Path(rows.first().row()));
}

void TfrmStartup::CurrentTabChanged(int index) {
    // Each tab has its own OK button; Enter answers the one the user sees.
    QWidget* page = m_ui->PageControl->widget(index);
    if (page == m_ui->tabNew) {
        m_ui->btnOKNew->setDefault(true);
    } else if (page == m_ui->tabOpenExisting) {
        m_ui->btnOKOpen->setDefault(true);
    } else if (page == m_ui->tabOpenRecent) {
        m_ui->btnOKRecent->setDefault(true);
    }
}

void TfrmStartup::Finish(TStartupResult kind, const QString& fileName) {
    FResultKind = kind;
    FFileName = fileName.toStdString();
    accept();
}

void TfrmStartup::PaintBanner() {
    QWidget* banner = m_ui->imgTop;
    QPainter painter(banner);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = banner->rect();

    QLinearGradient sky(area.topLeft(), area.bottomRight());
    sky.setColorAt(0.0, QColor(0x1d, 0x3f, 0x6e));
    sky.setColorAt(0.6, QColor(0x23, 0x6b, 0x8e));
    sky.setColorAt(1.0, QColor(0x3a, 0x9d, 0x8f));
    painter.fillRect(area, sky);

    // Soft rings and a feather on the right give the strip some depth without a picture file.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 24));
    painter.drawEllipse(QPointF(area.right() - 48, area.top() + 14), 58, 58);
    painter.drawEllipse(QPointF(area.right() - 128, area.bottom() + 6), 36, 36);

    const QPointF tip(area.right() - 96, area.bottom() - 12);
    QPainterPath feather(tip);
    feather.cubicTo(tip + QPointF(10, -40), tip + QPointF(44, -60), tip + QPointF(70, -64));
    feather.cubicTo(tip + QPointF(60, -36), tip + QPointF(36, -14), tip);
    painter.setBrush(QColor(255, 255, 255, 150));
    painter.drawPath(feather);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1.2));
    painter.drawLine(tip, tip + QPointF(52, -50));

    QFont title = font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 2.2);
    painter.setFont(title);
    painter.setPen(Qt::white);
    const QRectF upper(area.left() + 18, area.top(), area.width() - 36, area.height() * 0.62);
    painter.drawText(upper, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Quillvane"));

    QFont subtitle = font();
    subtitle.setItalic(true);
    painter.setFont(subtitle);
    painter.setPen(QColor(255, 255, 255, 210));
    const QRectF lower(upper.left() + 2, upper.bottom() + 2, upper.width(),
                       area.bottom() - upper.bottom() - 2);
    painter.drawText(lower, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Household budget"));
}
