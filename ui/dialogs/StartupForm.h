#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmStartup;
}
class TRecentModel;

// What the start-up dialog was closed with.
enum class TStartupResult { None = 0, NewBudget = 1, OpenExisting = 2, OpenRecent = 3 };

// Picks the budget to work on: a new one, an existing file or a recently used budget. The dialog
// only chooses; the caller creates or opens the budget afterwards.
class TfrmStartup : public QDialog {
    Q_OBJECT

public:
    explicit TfrmStartup(QWidget* parent = nullptr);
    ~TfrmStartup() override;

    static TfrmStartup& Instance();

    // Resets the whole dialog before a showing. The recent list is filled only when both
    // `titles` and `paths` are given; entry i of each stands for the same budget.
    void Setup(bool showNew, bool showOpen, bool showRecent,
               const std::vector<std::u16string>* titles, const std::vector<std::u16string>* paths,
               bool autoOpenLast);

    TStartupResult ResultKind() const { return FResultKind; }
    // The chosen path, UTF-8.
    const std::string& FileName() const { return FFileName; }
    // The title typed for a new budget.
    QString BudgetTitle() const;
    bool AutoOpenLast() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TitleChanged(const QString& title);
    void BrowseNew();
    void BrowseOpen();
    void AcceptNew();
    void AcceptOpen();
    void AcceptRecent();
    void CurrentTabChanged(int index);
    void PaintBanner();
    void Finish(TStartupResult kind, const QString& fileName);

    std::unique_ptr<Ui::TfrmStartup> m_ui;
    TRecentModel* FRecent;
    TStartupResult FResultKind = TStartupResult::None;
    std::string FFileName;
    QString FDefaultFolder;
    // A location picked with Browse whose replacement the file chooser has confirmed.
    QString FReplaceConfirmed;
};
