#include "platform/console/ConsoleViews.h"

#include "platform/console/ConsoleToolkit.h"
#include "util/TerminalText.h"

#include <algorithm>
#include <charconv>

namespace tellix {

namespace {

// Whatever came from the network or the settings is written so that it cannot steer the
// terminal: its control characters as pictures.
std::string ForTerminal(std::string_view bytes)
{
    std::string shown;
    AppendTerminalText(bytes, shown);
    return shown;
}

} // namespace

ConsoleChildView::ConsoleChildView(ConsoleToolkit& toolkit) : toolkit_(toolkit)
{
    toolkit_.Register(this);
}

ConsoleChildView::~ConsoleChildView()
{
    toolkit_.Unregister(this);
}

// Every caption begins with the window's number; the number is read from it once per change,
// so a line written later costs no lookup.
void ConsoleChildView::SetCaption(const std::string& caption)
{
    std::int32_t number = -1;
    const char* const end = caption.data() + caption.size();
    if (const auto result = std::from_chars(caption.data(), end, number); result.ec != std::errc()) {
        number = -1;
    }
    if (number != number_) {
        const std::int32_t previous = number_;
        number_ = number;
        toolkit_.Renumbered(this, previous, number);
    }
    if (caption == caption_) {
        return;
    }
    caption_ = caption;
    if (number_ >= 1) {
        std::string out = "[" + std::to_string(number_) + "] = ";
        AppendTerminalText(caption, out);
        out += '\n';
        toolkit_.Write(out);
    }
}

void ConsoleChildView::Show()
{
    visible_ = true;
}

void ConsoleChildView::SetState(WindowState state)
{
    state_ = state;
    if (state == WindowState::Normal) {
        Activate();
    }
}

void ConsoleChildView::Activate()
{
    toolkit_.SetActive(this);
    ConsoleToolkit& toolkit = toolkit_;
    Events.Activate.raise();
    // A listener may have closed the window.
    if (toolkit.Holds(this)) {
        Events.Seen.raise();
    }
}

bool ConsoleChildView::Seen() const
{
    return toolkit_.Active() == this;
}

void ConsoleChildView::Unload()
{
    bool cancel = false;
    Events.QueryUnload.raise(cancel, 1);
    toolkit_.Unregister(this);
}

void ConsoleChildView::AppendOutput(std::string_view line)
{
    outputLength_ += (outputLength_ > 0 ? 2 : 0) + static_cast<std::int64_t>(line.size());
    std::string out;
    AppendTerminalLines("[" + std::to_string(number_) + "] ", line, out);
    toolkit_.Write(out);
}

void ConsoleChildView::PrependOutput(const std::vector<StyledLine>& lines)
{
    std::string out;
    for (const StyledLine& line : lines) {
        outputLength_ += (outputLength_ > 0 ? 2 : 0) + static_cast<std::int64_t>(line.text.size());
        AppendTerminalLines("[" + std::to_string(number_) + "] ", line.text, out);
    }
    toolkit_.Write(out);
}

void ConsoleChildView::SetActivity(Activity level)
{
    const char* word = nullptr;
    switch (level) {
    case Activity::None:
        return;
    case Activity::Events:
        word = "events";
        break;
    case Activity::Messages:
        word = "messages";
        break;
    case Activity::Highlight:
        word = "highlight";
        break;
    }
    if (number_ >= 1) {
        toolkit_.Write("[" + std::to_string(number_) + "] ! " + word + "\n");
    }
}

void ConsoleChildView::SetInputText(std::string_view text)
{
    input_ = text;
    caret_ = 0;
}

void ConsoleChildView::SetInputSelStart(std::int64_t start)
{
    caret_ = std::clamp<std::int64_t>(start, 0, static_cast<std::int64_t>(input_.size()));
}

// As a person types it: a line break never enters the box, then Enter. The window, or the
// whole program, may be gone when the key has been answered.
void ConsoleChildView::Submit(std::string_view typed)
{
    input_.clear();
    for (const char c : typed) {
        if (c != '\r' && c != '\n') {
            input_ += c;
        }
    }
    caret_ = static_cast<std::int64_t>(input_.size());
    std::int32_t key = 13;
    Events.InputKeyDown.raise(key);
}

ConsoleMainWindowView::~ConsoleMainWindowView()
{
    toolkit_.MainWindowDestroyed(this);
}

void ConsoleMainWindowView::Unload()
{
    bool cancel = false;
    Events.QueryUnload.raise(cancel, 1);
    toolkit_.MainWindowUnloaded();
}

void ConsoleMainWindowView::ShowAboutBox(const std::string& title, const std::string& caption,
                                         const std::vector<std::string>& lines)
{
    std::string out = "[about] " + ForTerminal(title) + "\n[about] " + ForTerminal(caption) + "\n";
    for (const std::string& line : lines) {
        out += "[about] " + ForTerminal(line) + "\n";
    }
    toolkit_.Write(out);
}

void ConsoleMainWindowView::Close()
{
    bool cancel = false;
    Events.QueryUnload.raise(cancel, 0);
}

void ConsoleConnectDialogView::Show()
{
    visible_ = true;
    auto yesNo = [](std::int32_t value) { return value != 0 ? "yes" : "no"; };
    toolkit_.Write("[connect] server " + ForTerminal(server_) + ", nick " + ForTerminal(nick_) + ", user " +
                   ForTerminal(userShort_) + " (" + ForTerminal(userLong_) + "), invisible " + yesNo(invisible_) +
                   ", wallop " + yesNo(wallop_) + "\n[connect] Type /server to connect with these, or " +
                   "/server host [port].\n");
    // Passwords are only said to be there, never shown.
    auto given = [](const std::string& text) { return text.empty() ? "none" : "given"; };
    auto named = [](const std::string& text) { return text.empty() ? std::string("none") : ForTerminal(text); };
    toolkit_.Write("[connect] port " + ForTerminal(fields_.port) + ", TLS " + yesNo(fields_.tls ? 1 : 0) +
                   ", server password " + given(fields_.serverPassword) + ", account " + named(fields_.account) +
                   ", account password " + given(fields_.accountPassword) + ", client certificate " +
                   named(fields_.clientCertificate) + ", reconnect " + yesNo(fields_.reconnect ? 1 : 0) +
                   ", stay connected when the login fails " + yesNo(fields_.continueUnidentified ? 1 : 0) +
                   "\n[connect] /server -tls host [port] connects with TLS; " +
                   "/server -trust fingerprint host port trusts a refused certificate.\n");
}

void ConsoleConnectDialogView::SetVisible(bool visible)
{
    if (visible) {
        Show();
    } else {
        Hide();
    }
}

void ConsoleConnectDialogView::Unload()
{
    bool cancel = false;
    Events.QueryUnload.raise(cancel, 1);
}

} // namespace tellix
