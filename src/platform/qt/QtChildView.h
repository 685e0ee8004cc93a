#pragma once

#include "platform/ChildView.h"

#include <QPointer>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QMenu;
class QTableView;
class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace tellix {

class LogWidget;
class SettingsStore;
class NickListModel;
class TopicBar;

// A child window in the main window's document area: the log, the nick list and the input
// line on one client widget, placed by the core's layout in units of one twelfth of the
// input line's height.
class QtChildView final : public ChildView {
public:
    explicit QtChildView(QMdiArea& area);
    ~QtChildView() override;
    QtChildView(const QtChildView&) = delete;
    QtChildView& operator=(const QtChildView&) = delete;

    void SetCaption(const std::string& caption) override;
    void Show() override;
    void Hide() override;
    bool Visible() const override;
    void SetVisible(bool visible) override;
    WindowState State() const override;
    void SetState(WindowState state) override;
    double ClientWidth() const override;
    double ClientHeight() const override;
    void MoveOutput(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
    void MoveUsers(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
    void MoveInput(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
    void MoveTo(std::int32_t left, std::int32_t top) override;
    void SendToBack() override;
    void Redraw() override;
    void Unload() override;

    void AppendOutput(std::string_view line) override;
    void AppendOutput(std::string_view line, const LineStyle& style) override;
    void PrependOutput(const std::vector<StyledLine>& lines) override;
    void ClearOutput() override;
    std::int64_t OutputLength() const override;
    std::int64_t SelStart() const override;
    std::int64_t SelLength() const override;
    void SetSelection(std::int64_t start, std::int64_t length) override;
    void SetScrollbackLines(std::int64_t lines) override;
    std::int64_t ScrollbackLines() const { return scrollback_; }

    std::string InputText() const override;
    void SetInputText(std::string_view text) override;
    std::int64_t InputSelStart() const override;
    std::int64_t InputSelLength() const override;
    void SetInputSelStart(std::int64_t start) override;
    bool AskYesNo(const std::string& question) override;

    void UsersClear() override;
    void UsersAppend(std::string_view nick) override;
    void UsersReplace(std::int32_t position, std::string_view nick) override;
    void UsersRemove(std::int32_t position) override;
    void UsersRank(std::int32_t position, std::int32_t rank, char symbol, bool op) override;
    void UsersAway(std::int32_t position, bool away) override;
    void UsersCaseMapping(CaseMapping mapping) override;
    void UsersFilled() override;
    void LogCaseMapping(CaseMapping mapping) override;
    void SetUsersShown(bool shown) override;
    void SetHeader(std::string_view text) override;

    void SetActivity(Activity level) override;
    void ShowTopicBar(bool shown) override;
    void SetTopic(std::string_view topic, std::string_view setter, std::int64_t time) override;
    Activity ActivityLevel() const { return activity_; }
    void TakeFocus() override;
    void SetName(const std::string& name) override;
    void SetInputHint(const std::string& hint) override;
    void Tell(const std::string& title, const std::string& text) override;
    void MarkRead(std::int64_t linesAfter) override;
    void Untell() override;
    // The window is the active one in the active main window of the program in front.
    bool Seen() const override;
    void SetGroup(const std::string& group, const std::string& label, bool head) override;
    void SetUnread(std::int32_t count) override;
    void SetGreyed(bool greyed) override;
    void SetPartnerAway(bool away) override;
    void SetTyping(std::string_view text) override;
    std::optional<WindowPlace> Place() const override;
    void SetPlace(const WindowPlace& place) override;

    // The view of a form, null for a window that is not one of these views (or whose view is gone).
    static QtChildView* Of(const QMdiSubWindow* window);
    // Asks the core to run a command line as if typed in this window.
    void RunCommand(const std::string& line);

    // Where the window's place is remembered by its name, between runs.
    void RememberIn(SettingsStore* settings) { settings_ = settings; }
    static constexpr const char* kLayoutSection = "Layout";
    static std::string LayoutKey(const QString& name);

    // For the front-end and its tests.
    QMdiSubWindow* SubWindow() const;
    LogWidget* Log() const { return log_; }
    tellix::TopicBar* TopicBar() const { return topic_; }
    QTableView* UsersView() const { return users_; }
    NickListModel* UsersModel() const { return model_; }
    // A channel window's counts above its list ("42 users, 3 ops"); null elsewhere.
    QLabel* UsersCounts() const { return counts_; }
    // A query window's header naming its partner; null until there is one.
    QLabel* Header() const { return header_; }
    // The line under the log saying who types; null until someone has.
    QLabel* TypingLine() const { return typing_; }
    // The handle between log and list: dragged, it sets the list's width for every window.
    QWidget* SplitHandle() const { return split_; }
    // The list's context menu for a row, as a right click opens it.
    QMenu* NickMenu(int row);
    QLineEdit* Input() const;

    class Form;
    class Client;
    class InputLine;

private:
    friend class Form;
    friend class Client;
    friend class InputLine;

    // The form's own events, raised only while this view exists.
    void RaiseQueryUnload(bool& cancel);
    void RaiseResize();
    void RaiseActivate();
    // Once the user looks at the window.
    void RaiseSeen();
    void RaiseInputKeyDown(std::int32_t& key);
    void RaiseInputKeyPress(std::int32_t& key);
    void RaiseInputChange();
    void RaiseInputPaste(const std::string& text, bool& handled);
    void RaiseNickChosen(NickAction action, const std::string& nick);
    // Adds the form to the area, minimized, leaving the activation where it is.
    void Enter(QMdiArea& area);
    // Opened minimized while the area was full: hidden beside it, not yet one of its windows.
    bool Waiting() const;
    // In the area, neither minimized nor maximized: where its geometry is its place.
    bool ShownNormal() const;
    void Place(QWidget* control, std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
    // A new window's place: the next step of the cascade inside the area's visible part.
    void PlaceNew(QMdiArea& area);
    // Shows the form as `show` does without taking the activation or the keyboard from the
    // window in use.
    void ShowBehind(void (QWidget::*show)());
    void SaveLayout();
    // The list's width the user chose, in pixels, held to what leaves the log some room; 0 for
    // the laid-out width.
    int ChosenListWidth() const;
    void DragSplit(int x);
    void PlaceCounts();
    void KeepNormalGeometry();
    void ApplyPendingGeometry();
    // A remembered place brought inside today's area (a smaller screen).
    QRect FitInArea(QRect place) const;
    // Tells the tree what this window shows, a channel or else nothing.
    void ShowChannelInTree();

    QPointer<Form> form_;
    QPointer<QMdiArea> area_;
    Client* client_ = nullptr;
    LogWidget* log_ = nullptr;
    tellix::TopicBar* topic_ = nullptr; // above the log, in a channel window
    QTableView* users_ = nullptr;
    NickListModel* model_ = nullptr;
    // Made when the window first shows a channel: a status window's list stays as it came.
    QLabel* counts_ = nullptr;
    QLabel* header_ = nullptr;
    QLabel* typing_ = nullptr;
    static constexpr int kTypingIndent = 4;
    QWidget* split_ = nullptr;
    int dragged_ = 0; // the list's width while the handle is held
    bool usersShown_ = true;
    InputLine* input_ = nullptr;
    double unit_ = 1.5; // pixels per layout unit
    bool unloading_ = false;
    Activity activity_ = Activity::None;
    bool waitingVisible_ = true; // what the core made of a waiting window's visibility
    SettingsStore* settings_ = nullptr;
    std::int64_t scrollback_ = 0;
    QString name_;
    std::string nameBytes_; // as the core named it
    bool channel_ = false;  // shows a channel: the topic bar is up
    QRect normal_;          // the form's place when neither minimized nor maximized
    QRect pending_;         // a remembered place, taken when the window is next shown normal
    static constexpr qsizetype kWindowsInArea = 40;
};

} // namespace tellix
