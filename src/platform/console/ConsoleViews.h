#pragma once

#include "platform/ChildView.h"
#include "platform/ConnectDialogView.h"
#include "platform/MainWindowView.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class ConsoleToolkit;

// A child window in the terminal: every line its log receives goes to standard output as
// "[" + window number + "] " + line; its caption changes are announced the same way.
class ConsoleChildView final : public ChildView {
public:
    explicit ConsoleChildView(ConsoleToolkit& toolkit);
    ~ConsoleChildView() override;
    ConsoleChildView(const ConsoleChildView&) = delete;
    ConsoleChildView& operator=(const ConsoleChildView&) = delete;

    void SetCaption(const std::string& caption) override;
    void Show() override;
    void Hide() override { visible_ = false; }
    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    WindowState State() const override { return state_; }
    void SetState(WindowState state) override;
    // A terminal has no geometry: the layout's numbers are kept nowhere.
    double ClientWidth() const override { return 0; }
    double ClientHeight() const override { return 0; }
    void MoveOutput(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
    void MoveUsers(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
    void MoveInput(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
    void MoveTo(std::int32_t, std::int32_t) override {}
    void SendToBack() override {}
    void Redraw() override {}
    void Unload() override;

    void AppendOutput(std::string_view line) override;
    // A terminal cannot put lines above what it printed: older lines print as they come.
    void PrependOutput(const std::vector<StyledLine>& lines) override;
    // A terminal keeps what it printed; the log's length starts again.
    void ClearOutput() override { outputLength_ = 0; }
    std::int64_t OutputLength() const override { return outputLength_; }
    // The terminal always follows the newest line.
    std::int64_t SelStart() const override { return outputLength_; }
    std::int64_t SelLength() const override { return 0; }
    void SetSelection(std::int64_t, std::int64_t) override {}
    // The terminal keeps no log.
    void SetScrollbackLines(std::int64_t) override {}

    std::string InputText() const override { return input_; }
    void SetInputText(std::string_view text) override;
    std::int64_t InputSelStart() const override { return caret_; }
    std::int64_t InputSelLength() const override { return 0; }
    void SetInputSelStart(std::int64_t start) override;
    // A terminal pastes nothing, so nothing is ever asked; no means nothing is sent unasked.
    bool AskYesNo(const std::string&) override { return false; }

    // The nick list is not shown in a terminal; the core keeps it all the same.
    void UsersClear() override {}
    void UsersAppend(std::string_view) override {}
    void UsersReplace(std::int32_t, std::string_view) override {}
    void UsersRemove(std::int32_t) override {}

    // A rise is written as "[n] ! " and the level's word, for scripts to follow.
    void SetActivity(Activity level) override;
    // The terminal shows the active window: that one is looked at.
    bool Seen() const override;

    // A line from standard input, typed into the input line and submitted with Enter.
    void Submit(std::string_view typed);
    void Activate();
    // What the user opened is where the next typed line goes.
    void TakeFocus() override { Activate(); }
    std::int32_t Number() const { return number_; }

private:
    ConsoleToolkit& toolkit_;
    std::int32_t number_ = -1; // from the caption, which always begins with it
    std::string caption_;
    bool visible_ = false;
    WindowState state_ = WindowState::Minimized;
    std::int64_t outputLength_ = 0;
    std::string input_;
    std::int64_t caret_ = 0;
};

// The main window in the terminal: it has nothing to show but the About box.
class ConsoleMainWindowView final : public MainWindowView {
public:
    explicit ConsoleMainWindowView(ConsoleToolkit& toolkit) : toolkit_(toolkit) {}
    ~ConsoleMainWindowView() override;
    ConsoleMainWindowView(const ConsoleMainWindowView&) = delete;
    ConsoleMainWindowView& operator=(const ConsoleMainWindowView&) = delete;
    void SetCaption(const std::string&) override {}
    void Show() override {}
    void Hide() override {}
    void Unload() override;
    void ShowAboutBox(const std::string& title, const std::string& caption,
                      const std::vector<std::string>& lines) override;
    // End of input: the user closes the main window.
    void Close();

private:
    ConsoleToolkit& toolkit_;
};

// The connect dialog in the terminal: shown, it prints its fields and how to connect.
class ConsoleConnectDialogView final : public ConnectDialogView {
public:
    explicit ConsoleConnectDialogView(ConsoleToolkit& toolkit) : toolkit_(toolkit) {}
    void SetCaption(const std::string&) override {}
    void MoveTo(std::int32_t, std::int32_t) override {}
    void Show() override;
    void Hide() override { visible_ = false; }
    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override;
    void BringToFront() override {}
    void Unload() override;
    std::string ServerText() const override { return server_; }
    void SetServerText(std::string_view text) override { server_ = text; }
    void ClearServers() override {}
    void AddServer(std::string_view, std::int32_t) override {}
    std::string UserShort() const override { return userShort_; }
    void SetUserShort(std::string_view text) override { userShort_ = text; }
    std::string UserLong() const override { return userLong_; }
    void SetUserLong(std::string_view text) override { userLong_ = text; }
    std::string Nick() const override { return nick_; }
    void SetNick(std::string_view text) override { nick_ = text; }
    std::int32_t Invisible() const override { return invisible_; }
    void SetInvisible(std::int32_t value) override { invisible_ = value; }
    std::int32_t Wallop() const override { return wallop_; }
    void SetWallop(std::int32_t value) override { wallop_ = value; }
    ConnectFields Fields() const override { return fields_; }
    void SetFields(const ConnectFields& fields) override { fields_ = fields; }

private:
    ConsoleToolkit& toolkit_;
    bool visible_ = false;
    std::string server_;
    std::string userShort_;
    std::string userLong_;
    std::string nick_;
    std::int32_t invisible_ = 0;
    std::int32_t wallop_ = 0;
    ConnectFields fields_;
};

} // namespace tellix
