#pragma once

#include "platform/ChildView.h"

#include <QPointer>

class QLabel;
class QLineEdit;
class QMenu;
class QTableView;
class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace tellix {

class LogWidget;
class NickListModel;

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
    std::int64_t OutputLength() const override;
    std::int64_t SelStart() const override;
    std::int64_t SelLength() const override;
    void SetSelection(std::int64_t start, std::int64_t length) override;
    void SetScrollbackLines(std::int64_t lines) override;

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
    void UsersCaseMapping(CaseMapping mapping) override;
    void SetUsersShown(bool shown) override;
    void SetHeader(std::string_view text) override;

    void SetActivity(Activity level) override;
    Activity ActivityLevel() const { return activity_; }

    // For the front-end and its tests.
    QMdiSubWindow* SubWindow() const;
    LogWidget* Log() const { return log_; }
    QTableView* UsersView() const { return users_; }
    NickListModel* UsersModel() const { return model_; }
    // A channel window's counts above its list ("42 users, 3 ops"); null elsewhere.
    QLabel* UsersCounts() const { return counts_; }
    // A query window's header naming its partner; null until there is one.
    QLabel* Header() const { return header_; }
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
    void RaiseInputKeyDown(std::int32_t& key);
    void RaiseInputKeyPress(std::int32_t& key);
    void RaiseInputPaste(const std::string& text, bool& handled);
    void RaiseNickChosen(NickAction action, const std::string& nick);
    // Adds the form to the area, minimized, leaving the activation where it is.
    void Enter(QMdiArea& area);
    // Opened minimized while the area was full: hidden beside it, not yet one of its windows.
    bool Waiting() const;
    void Place(QWidget* control, std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

    QPointer<Form> form_;
    QPointer<QMdiArea> area_;
    Client* client_ = nullptr;
    LogWidget* log_ = nullptr;
    QTableView* users_ = nullptr;
    NickListModel* model_ = nullptr;
    // Made when the window first shows a channel: a status window's list stays as it came.
    QLabel* counts_ = nullptr;
    QLabel* header_ = nullptr;
    bool usersShown_ = true;
    InputLine* input_ = nullptr;
    double unit_ = 1.5; // pixels per layout unit
    bool unloading_ = false;
    Activity activity_ = Activity::None;
    bool waitingVisible_ = true; // what the core made of a waiting window's visibility
    static constexpr qsizetype kWindowsInArea = 40;
};

} // namespace tellix
