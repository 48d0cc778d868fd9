#pragma once

#include <memory>
#include <vector>

#include <QIcon>
#include <QPixmap>
#include <QString>

// A list of pictures of one size, addressed by index as the windows' image lists are.
class TImageList {
public:
    explicit TImageList(int size) : FSize(size) {}

    int Size() const { return FSize; }
    int Count() const { return static_cast<int>(FIcons.size()); }
    // An empty icon for an index out of range.
    QIcon Icon(int index) const;
    // The picture at the list's size for the screen's device pixel ratio; null out of range.
    QPixmap Pixmap(int index, qreal devicePixelRatio = 1.0) const;
    int Add(const QIcon& icon);
    // Appends the picture in `fileName`, read only when it is first asked for: reading a picture
    // parses its drawing, and a start shows only some of them.
    int AddFile(const QString& fileName);
    // Appends every picture of `other`.
    void AddAll(const TImageList& other);
    void Clear() { FIcons.clear(); }

private:
    // Shared by the lists that AddAll copies it into, so it is read once.
    struct TPicture {
        QString File;
        QIcon Icon;
        bool Read = false;
    };
    int FSize;
    std::vector<std::shared_ptr<TPicture>> FIcons;
};

// The program's pictures, drawn for this program (SVG in a Qt resource), built once on first use.
// Each list holds exactly the pictures, in the order, that its comment gives.
namespace QVImages {

// 16 px. Rows of the cash-flow grid: 0 income, 1 expense, 2 transfer.
const TImageList& TreeView();
// 16 px. Cash-flow context menu: 0 income, 1 transfer, 2 expense, 3 remove, 4 new.
const TImageList& Cashflow();
// 16 px. Debts grid and its menu: 0 debt or loan (row, edit), 1 new, 2 remove.
const TImageList& Debts();
// 16 px. Category grid and its menu: 0 (unused), 1 category (row, edit), 2 remove, 3 new.
const TImageList& Dict();
// 16 px. Summary rows: 0 figure.
const TImageList& SummaryIcons();
// 16 px. Menu bar, by index: 0 new expense, 1 transfer, 2 new income, 3 (unused), 4 new budget,
// 5 (unused), 6 open, 7 save, 8 exit, 9 cash flow, 10 accounts, 11 (unused), 12 personalisation,
// 13 settings, 14 help contents, 15 about, 16 debts, 17 summary, 18 protection, 19 new account.
const TImageList& Menu();
// 24 px. Toolbar: 0 new income, 1 new expense, 2 cash flow, 3 accounts, 4 debts and loans,
// 5 personalisation, 6 summary.
const TImageList& Toolbar();
// 16 px. Tray icon: 0 the program's icon.
const TImageList& Tray();
// 16 px. Tray menu: 0 (unused), 1 add income, 2 add transfer, 3 add expense, 4 exit.
const TImageList& TrayMenu();

// 44 px. Account icons 0..10 (cash, bank, card, wallet, safe, piggy bank, ...).
const TImageList& SourceIcons();
// 44 px. 0..11 January to December, 12 all months.
const TImageList& MonthIcons();
// 44 px. The navigation bar's own seven pictures, before the account icons are appended.
const TImageList& LeftBarButtons();
// 44 px. 0 new account, 1 (spare).
const TImageList& PredefinedLeftBarIcons();
// 44 px. 0 loans (credits), 1 debts.
const TImageList& DebtsLoans();
// 44 px. 0 expense categories, 1 income categories.
const TImageList& PersonalisationImg();
// 44 px. 0 summary header.
const TImageList& OtherHeaderIcons();

// The application's icon (window, tray, launcher).
QIcon AppIcon();

} // namespace QVImages
