#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QColor>
#include <QString>
#include <QWidget>

class TImageList;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

// One large button of a bar page. The Tag carries the model object the button stands for (its
// address), or 0.
struct TOutlookBarButton {
    QString Caption;
    int ImageIndex = -1;
    std::intptr_t Tag = 0;
    bool Down = false;
};

class TOutlookBar;

// A page of the bar: a caption, a font colour and its buttons.
class TOutlookBarPage {
public:
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& color);

    int ButtonCount() const { return static_cast<int>(FButtons.size()); }
    // The button at `index`; changes made through it show after Changed() or the next setter.
    TOutlookBarButton& Button(int index) { return FButtons.at(index); }
    const TOutlookBarButton& Button(int index) const { return FButtons.at(index); }
    TOutlookBarButton& AddButton();
    TOutlookBarButton& InsertButton(int index);
    void DeleteButton(int index);
    void ClearButtons();
    // Presses button `index` and releases the others of the page; -1 releases all.
    void SetDown(int index);
    // The pressed button, or -1.
    int DownIndex() const;
    // Redraws the page after its buttons were changed in place.
    void Changed();

private:
    friend class TOutlookBar;
    explicit TOutlookBarPage(TOutlookBar& bar) : FBar(bar) {}

    TOutlookBar& FBar;
    QString FCaption;
    QColor FFontColor;
    std::vector<TOutlookBarButton> FButtons;
};

// The navigation bar at the left of the main window: pages stacked like drawers, the active one
// open with its large buttons. Only the program presses buttons (a click reports itself and the
// program decides); the page headers switch pages.
class TOutlookBar : public QWidget {
    Q_OBJECT
public:
    explicit TOutlookBar(QWidget* parent = nullptr);
    ~TOutlookBar() override;

    int PageCount() const { return static_cast<int>(FPages.size()); }
    TOutlookBarPage& Page(int index) { return *FPages.at(index); }
    TOutlookBarPage& AddPage();
    // Removes every page; the active page index goes back to 0 without PageChange.
    void ClearPages();

    int ActivePageIndex() const { return FActivePage; }
    // Making another page active emits PageChange with its index; the same page does nothing.
    void SetActivePageIndex(int index);

    // Changes between these two are laid out once, at the end.
    void BeginUpdate();
    void EndUpdate();
    // BeginUpdate for the guard's lifetime.
    class TUpdateGuard {
    public:
        explicit TUpdateGuard(TOutlookBar& bar) : FBar(bar) { FBar.BeginUpdate(); }
        ~TUpdateGuard() { FBar.EndUpdate(); }
        TUpdateGuard(const TUpdateGuard&) = delete;
        TUpdateGuard& operator=(const TUpdateGuard&) = delete;

    private:
        TOutlookBar& FBar;
    };

    // The pictures of the large buttons; not owned.
    const TImageList* LargeImages() const { return FImages; }
    void SetLargeImages(const TImageList* images);

    // The button at `index` of the active page, for tests and screen readers.
    QToolButton* ButtonWidget(int index) const;
    // The header of page `index`.
    QToolButton* PageHeader(int index) const;

signals:
    void PageChange(int pageIndex);
    // A button of the active page was clicked, by its index in that page.
    void ButtonClick(int buttonIndex);

private:
    friend class TOutlookBarPage;
    void Rebuild();
    void UpdateDownStates(const TOutlookBarPage& page);

    std::vector<std::unique_ptr<TOutlookBarPage>> FPages;
    int FActivePage = 0;
    const TImageList* FImages = nullptr;
    QVBoxLayout* FLayout;
    std::vector<QToolButton*> FHeaders;
    std::vector<QToolButton*> FButtonWidgets;
    QScrollArea* FScroll = nullptr;
    int FUpdateCount = 0;
    bool FDirty = false;
};
