#include "ui/widgets/OutlookBar.h"

#include <algorithm>

#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"

namespace {

constexpr int kIconSize = 44;
// The least room a caption asks for, in average characters: a long caption never widens the bar.
constexpr int kLeastCaptionChars = 6;

// A button of the bar, or a page header, whose caption is cut to the button's width with "…"
// and shown whole as its tooltip, so that a long account name neither widens the bar nor needs
// a horizontal scroll bar. The caption stays on one line, as a name does everywhere.
class TBarButton : public QToolButton {
public:
    TBarButton(const QString& caption, QWidget* parent)
        : QToolButton(parent), FCaption(QVUIUtils::OneLine(caption)) {
        setText(FCaption);
        setToolTip(QVUIUtils::WholeTextToolTip(FCaption));
    }

    QSize sizeHint() const override {
        QSize hint = QToolButton::sizeHint();
        const int least =
            std::max(fontMetrics().averageCharWidth() * kLeastCaptionChars,
                     toolButtonStyle() == Qt::ToolButtonTextOnly ? 0 : iconSize().width());
        hint.setWidth(std::min(hint.width(), least + Padding()));
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QToolButton::resizeEvent(event);
        setText(fontMetrics().elidedText(FCaption, Qt::ElideRight, width() - Padding()));
    }

private:
    // What the style draws around the caption.
    int Padding() const {
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.text.clear();
        option.icon = QIcon();
        option.iconSize = QSize();
        return style()->sizeFromContents(QStyle::CT_ToolButton, &option, QSize(), this).width() +
               2 * style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this);
    }

    QString FCaption;
};

} // namespace

// ---- TOutlookBarPage

void TOutlookBarPage::SetCaption(const QString& caption) {
    FCaption = caption;
    Changed();
}

void TOutlookBarPage::SetFontColor(const QColor& color) {
    FFontColor = color;
    Changed();
}

TOutlookBarButton& TOutlookBarPage::AddButton() {
    FButtons.emplace_back();
    Changed();
    return FButtons.back();
}

TOutlookBarButton& TOutlookBarPage::InsertButton(int index) {
    auto it = FButtons.emplace(FButtons.begin() + index);
    Changed();
    return *it;
}

void TOutlookBarPage::DeleteButton(int index) {
    FButtons.erase(FButtons.begin() + index);
    Changed();
}

void TOutlookBarPage::ClearButtons() {
    FButtons.clear();
    Changed();
}

void TOutlookBarPage::SetDown(int index) {
    for (int i = 0; i < ButtonCount(); ++i) {
        FButtons[i].Down = i == index;
    }
    FBar.UpdateDownStates(*this);
}

int TOutlookBarPage::DownIndex() const {
    for (int i = 0; i < ButtonCount(); ++i) {
        if (FButtons[i].Down) {
            return i;
        }
    }
    return -1;
}

void TOutlookBarPage::Changed() {
    FBar.Rebuild();
}

// ---- TOutlookBar

TOutlookBar::TOutlookBar(QWidget* parent) : QWidget(parent), FLayout(new QVBoxLayout(this)) {
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(0);
    setMinimumWidth(120);
}

TOutlookBar::~TOutlookBar() = default;

TOutlookBarPage& TOutlookBar::AddPage() {
    FPages.push_back(std::unique_ptr<TOutlookBarPage>(new TOutlookBarPage(*this)));
    Rebuild();
    return *FPages.back();
}

void TOutlookBar::ClearPages() {
    FPages.clear();
    FActivePage = 0;
    Rebuild();
}

void TOutlookBar::SetActivePageIndex(int index) {
    if (index == FActivePage || index < 0 || index >= PageCount()) {
        return;
    }
    // What the page change does to the bar (pictures, pressed buttons) is laid out once, after.
    const TUpdateGuard update(*this);
    FActivePage = index;
    FDirty = true;
    emit PageChange(index);
}

void TOutlookBar::BeginUpdate() {
    ++FUpdateCount;
}

void TOutlookBar::EndUpdate() {
    if (--FUpdateCount == 0 && FDirty) {
        Rebuild();
    }
}

void TOutlookBar::UpdateDownStates(const TOutlookBarPage& page) {
    if (FPages.empty() || FPages[FActivePage].get() != &page || FDirty) {
        return;
    }
    for (int b = 0; b < page.ButtonCount() && b < static_cast<int>(FButtonWidgets.size()); ++b) {
        FButtonWidgets[b]->setChecked(page.Button(b).Down);
    }
}

void TOutlookBar::SetLargeImages(const TImageList* images) {
    FImages = images;
    Rebuild();
}

QToolButton* TOutlookBar::ButtonWidget(int index) const {
    return index >= 0 && index < static_cast<int>(FButtonWidgets.size()) ? FButtonWidgets[index]
                                                                         : nullptr;
}

QToolButton* TOutlookBar::PageHeader(int index) const {
    return index >= 0 && index < static_cast<int>(FHeaders.size()) ? FHeaders[index] : nullptr;
}

// The bar is small (a page holds its months or accounts), so every change lays it out anew rather
// than patching widgets; the scroll position of the open page is kept.
void TOutlookBar::Rebuild() {
    if (FUpdateCount > 0) {
        FDirty = true;
        return;
    }
    FDirty = false;
    const int scrollPos = FScroll ? FScroll->verticalScrollBar()->value() : 0;
    while (QLayoutItem* item = FLayout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    FHeaders.clear();
    FButtonWidgets.clear();
    FScroll = nullptr;

    for (int p = 0; p < PageCount(); ++p) {
        const TOutlookBarPage& page = *FPages[p];
        auto* header = new TBarButton(page.Caption(), this);
        header->setObjectName(QStringLiteral("LeftBarPage%1").arg(p));
        header->setToolButtonStyle(Qt::ToolButtonTextOnly);
        header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        header->setCheckable(true);
        header->setChecked(p == FActivePage);
        QFont font = header->font();
        font.setBold(true);
        header->setFont(font);
        connect(header, &QToolButton::clicked, this, [this, p, header] {
            header->setChecked(p == FActivePage);
            SetActivePageIndex(p);
        });
        FLayout->addWidget(header);
        FHeaders.push_back(header);

        if (p != FActivePage) {
            continue;
        }
        FScroll = new QScrollArea(this);
        FScroll->setObjectName(QStringLiteral("LeftBarButtons"));
        FScroll->setWidgetResizable(true);
        FScroll->setFrameShape(QFrame::NoFrame);
        FScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        FScroll->setBackgroundRole(QPalette::Dark);
        auto* content = new QWidget(FScroll);
        content->setBackgroundRole(QPalette::Dark);
        auto* column = new QVBoxLayout(content);
        column->setContentsMargins(4, 6, 4, 6);
        column->setSpacing(4);
        for (int b = 0; b < page.ButtonCount(); ++b) {
            const TOutlookBarButton& shown = page.Button(b);
            auto* button = new TBarButton(shown.Caption, content);
            button->setObjectName(QStringLiteral("LeftBarButton%1").arg(b));
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            // A pressed or hovered button is drawn in a shade of the bar's ground, so a light
            // font colour stays readable on it.
            QPalette colours = button->palette();
            colours.setColor(QPalette::Button, colours.color(QPalette::Dark));
            if (page.FontColor().isValid()) {
                colours.setColor(QPalette::ButtonText, page.FontColor());
            }
            button->setPalette(colours);
            button->setIconSize(QSize(kIconSize, kIconSize));
            button->setAutoRaise(true);
            button->setCheckable(true);
            button->setChecked(shown.Down);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            if (FImages) {
                button->setIcon(FImages->Icon(shown.ImageIndex));
            }
            // Only the program presses buttons: the click is reported and the state put back
            // until the program decides.
            connect(button, &QToolButton::clicked, this, [this, b, button] {
                const TOutlookBarPage& current = *FPages[FActivePage];
                if (b < current.ButtonCount()) {
                    button->setChecked(current.Button(b).Down);
                }
                emit ButtonClick(b);
            });
            column->addWidget(button);
            FButtonWidgets.push_back(button);
        }
        column->addStretch(1);
        FScroll->setWidget(content);
        FLayout->addWidget(FScroll, 1);
        FScroll->verticalScrollBar()->setValue(scrollPos);
    }
    if (!FScroll) {
        FLayout->addStretch(1);
    }
}
