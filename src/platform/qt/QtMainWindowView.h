#pragma once

#include "platform/ChildView.h"
#include "platform/MainWindowView.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QDockWidget;
class QIcon;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;

namespace tellix {

class LogIndex;
class NetworksDialog;
class PreferencesDialog;
class SearchWindow;
class SettingsStore;
class WindowBar;
class WindowLayout;
class WindowTree;
class WindowTreeModel;

// The main window: a QMainWindow whose document area holds the child windows, with the File,
// Window and "?" menus.
class QtMainWindowView final : public MainWindowView {
public:
    QtMainWindowView();
    ~QtMainWindowView() override;
    QtMainWindowView(const QtMainWindowView&) = delete;
    QtMainWindowView& operator=(const QtMainWindowView&) = delete;

    void SetCaption(const std::string& caption) override;
    void Show() override;
    void Hide() override;
    void Unload() override;
    void ShowAboutBox(const std::string& title, const std::string& caption,
                      const std::vector<std::string>& lines) override;

    QMainWindow* Window() const;
    QMdiArea* Area() const;
    // Lists a child window of the area in its main window's Window menu, until it is destroyed.
    static void ListWindow(QMdiArea& area, QMdiSubWindow* child);
    // Shows a child window's activity on its bar button and its Window menu entry.
    static void ShowActivity(QMdiArea& area, QMdiSubWindow* child, Activity level);
    // The tree of an area's windows, where the child windows tell what it shows of them.
    static WindowTreeModel* TreeOf(QMdiArea& area);
    WindowBar* Bar() const;
    WindowTree* Tree() const;
    QDockWidget* TreeDock() const;
    WindowLayout* Layout() const;
    // What the tree's "Edit Network..." does with the connection's label; unset, it is disabled.
    void SetEditNetwork(std::function<void(QString)> edit);
    // Where the main window's place is kept between runs, and what the preferences edit.
    void RememberIn(SettingsStore* settings);
    // The preferences dialog while it is open.
    PreferencesDialog* Preferences() const;
    // The saved networks' dialog (File > Networks..., Ctrl+Shift+N) while it is open.
    NetworksDialog* NetworksWindow() const;
    // The index of the logs, opened on first need.
    LogIndex* Index();
    // Files the log writer has just flushed: an open index reads on in them. A closed one
    // catches up from the files when it opens, so no start pays for an index nobody asks.
    void LogsGrew(const std::vector<std::string>& paths);
    // Called as the view goes, so that nothing keeps a pointer to it.
    void OnGone(std::function<void()> gone) { gone_ = std::move(gone); }
    // The search window (Window > Search Logs..., Ctrl+Shift+F, /search) while it is open.
    SearchWindow* Search() const;
    // Opens the search window, or brings it forward; with `words`, searches for them at once.
    // False when the logs have no index to search.
    bool OpenSearch(const QString& words = {});
    static constexpr const char* kMainWindowKey = "Main Window";
    // The program's icon, drawn here: the window's, the About box's and the installed one's.
    static QIcon Icon();

    class Form;

private:
    friend class Form;
    void RaiseQueryUnload(bool& cancel);
    void RaiseMenu(const Event<>& click, const char* where);
    void OpenPreferences();
    // With a name, that network's form opens too, when it is a saved network.
    void OpenNetworks(const std::string& name = {});

    QPointer<Form> form_;
    bool unloading_ = false;
    SettingsStore* settings_ = nullptr;
    QPointer<PreferencesDialog> preferences_;
    QPointer<NetworksDialog> networks_;
    QPointer<LogIndex> index_;
    QPointer<SearchWindow> search_;
    std::function<void()> gone_;
};

} // namespace tellix
