#pragma once

#include "util/Event.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tellix {

// The main window as the core sees it: the frame that holds the child windows, its caption,
// its menus and its close request.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;

    virtual void SetCaption(const std::string& caption) = 0;
    // Modeless; the window opens maximized.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Destroys the window; it raises QueryUnload with unloadMode 1 first.
    virtual void Unload() = 0;
    // An informational box with the window's icon: a title, a caption and lines of text.
    virtual void ShowAboutBox(const std::string& title, const std::string& caption,
                              const std::vector<std::string>& lines) = 0;

    struct EventSet {
        // Cancel, UnloadMode: 1 when the program itself unloads the window, 0 otherwise.
        Event<bool&, std::int32_t> QueryUnload;
        Event<> mnuFileExit_Click;
        Event<> mnuWindowConnectDlg_Click;
        Event<> mnuHelpAbout_Click;
        // The user changed settings the windows hold (a preferences dialog closed with OK).
        Event<> SettingsChanged;
    } Events;
};

} // namespace tellix
