#include "ui/QVImages.h"

#include <initializer_list>

#include <QSize>
#include <QString>

// The resource lives in this static library, so the linker keeps it only when something names its
// initialiser; Q_INIT_RESOURCE has to be used from the global namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count())
        return QIcon();
    TPicture& picture = *FIcons[static_cast<size_t>(index)];
    if (!picture.Read) {
        picture.Icon = QIcon(picture.File);
        picture.Read = true;
    }
    return picture.Icon;
}

QPixmap TImageList::Pixmap(int index, qreal devicePixelRatio) const {
    if (index < 0 || index >= Count())
        return QPixmap();
    return Icon(index).pixmap(QSize(FSize, FSize), devicePixelRatio);
}

int TImageList::Add(const QIcon& icon) {
    FIcons.push_back(std::make_shared<TPicture>(TPicture{QString(), icon, true}));
    return Count() - 1;
}

int TImageList::AddFile(const QString& fileName) {
    FIcons.push_back(std::make_shared<TPicture>(TPicture{fileName, QIcon(), false}));
    return Count() - 1;
}

void TImageList::AddAll(const TImageList& other) {
    // Copy first: `other` may be this very list.
    const std::vector<std::shared_ptr<TPicture>> icons = other.FIcons;
    FIcons.insert(FIcons.end(), icons.begin(), icons.end());
}

namespace {

QString PictureFile(const char* name) {
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
}

TImageList Make(int size, std::initializer_list<const char*> names) {
    TImageList list(size);
    for (const char* name : names)
        list.AddFile(PictureFile(name));
    return list;
}

// Slots that no window uses still hold a picture of their own, so an index that drifts into one
// shows something sensible rather than a blank.
struct TImages {
    TImageList TreeView = Make(16, {"income", "expense", "transfer"});
    TImageList Cashflow = Make(16, {"income", "transfer", "expense", "remove", "new"});
    TImageList Debts = Make(16, {"debt", "new", "remove"});
    TImageList Dict = Make(16, {"categories", "category", "remove", "new"});
    TImageList SummaryIcons = Make(16, {"figure"});
    TImageList Menu = Make(
        16, {"expense", "transfer", "income",   "edit",     "new",        "properties", "open",
             "save",    "exit",     "cashflow", "accounts", "category",   "categories", "settings",
             "help",    "about",    "debt",     "summary",  "protection", "newaccount"});
    TImageList Toolbar =
        Make(24, {"income", "expense", "cashflow", "accounts", "debt", "categories", "summary"});
    TImageList Tray = Make(16, {"app"});
    TImageList TrayMenu = Make(16, {"restore", "income", "transfer", "expense", "exit"});
    TImageList SourceIcons =
        Make(44, {"src_cash", "src_bank", "src_card", "src_wallet", "src_safe", "src_piggy",
                  "src_coins", "src_cheques", "src_house", "src_car", "src_briefcase"});
    TImageList MonthIcons = Make(44, {"month_01", "month_02", "month_03", "month_04", "month_05",
                                      "month_06", "month_07", "month_08", "month_09", "month_10",
                                      "month_11", "month_12", "month_all"});
    TImageList LeftBarButtons = Make(
        44, {"cashflow", "account_list", "debts", "categories", "summary44", "settings", "help"});
    TImageList PredefinedLeftBarIcons = Make(44, {"account_new", "account_list"});
    TImageList DebtsLoans = Make(44, {"loans", "debts"});
    TImageList PersonalisationImg = Make(44, {"cats_expense", "cats_income"});
    TImageList OtherHeaderIcons = Make(44, {"summary44"});
    QIcon App = QIcon(PictureFile("app"));
};

const TImages& Images() {
    // The resource must be registered before the first picture is looked up in it.
    static const TImages images = [] {
        InitIconResources();
        return TImages();
    }();
    return images;
}

} // namespace

namespace QVImages {

const TImageList& TreeView() {
    return Images().TreeView;
}
const TImageList& Cashflow() {
    return Images().Cashflow;
}
const TImageList& Debts() {
    return Images().Debts;
}
const TImageList& Dict() {
    return Images().Dict;
}
const TImageList& SummaryIcons() {
    return Images().SummaryIcons;
}
const TImageList& Menu() {
    return Images().Menu;
}
const TImageList& Toolbar() {
    return Images().Toolbar;
}
const TImageList& Tray() {
    return Images().Tray;
}
const TImageList& TrayMenu() {
    return Images().TrayMenu;
}
const TImageList& SourceIcons() {
    return Images().SourceIcons;
}
const TImageList& MonthIcons() {
    return Images().MonthIcons;
}
const TImageList& LeftBarButtons() {
    return Images().LeftBarButtons;
}
const TImageList& PredefinedLeftBarIcons() {
    return Images().PredefinedLeftBarIcons;
}
const TImageList& DebtsLoans() {
    return Images().DebtsLoans;
}
const TImageList& PersonalisationImg() {
    return Images().PersonalisationImg;
}
const TImageList& OtherHeaderIcons() {
    return Images().OtherHeaderIcons;
}
QIcon AppIcon() {
    return Images().App;
}

} // namespace QVImages
