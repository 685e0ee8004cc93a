#include "platform/qt/QtMainWindowView.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "net/IRCConnection.h"
#include "platform/SettingsStore.h"
#include "platform/qt/Notifier.h"
#include "platform/qt/PreferencesDialog.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/SearchWindow.h"
#include "platform/qt/TextDecoding.h"
#include "platform/qt/WindowBar.h"
#include "platform/qt/WindowLayout.h"
#include "platform/qt/WindowTree.h"
#include "platform/qt/WindowTreeModel.h"
#include "platform/qt/networks/BouncerNetworkDialog.h"
#include "platform/qt/networks/NetworksDialog.h"
#include "platform/qtcore/Boundary.h"
#include "platform/qtcore/LogIndex.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHash>
#include <QIcon>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>

#include <sstream>

namespace tellix {

namespace {

// The connection a window of the tree belongs to, through the running instance.
std::shared_ptr<IRCConnection> ConnectionOfWindow(const Application& app, QMdiSubWindow* window)
{
    const QtChildView* const view = QtChildView::Of(window);
    // Once per menu opened: walked.
    for (const std::shared_ptr<Child>& child : *app.Childs()) {
        if (child->Window() == view) {
            IRCConnection* const connection = child->Connection();
            return connection != nullptr ? connection->shared_from_this() : nullptr;
        }
    }
    return nullptr;
}

// A bouncer login's row offers a network to add; a network's row, its form to edit or remove it.
// The bouncer's notifications then change the tree.
void OfferBouncerNetworks(QMainWindow& form, QMdiSubWindow* window, QMenu* menu)
{
    const std::shared_ptr<Application> app = Application::Instance();
    const std::shared_ptr<IRCConnection> connection = app ? ConnectionOfWindow(*app, window) : nullptr;
    if (!connection) {
        return;
    }
    std::shared_ptr<IRCConnection> home = app->BouncerHome(*connection);
    const bool network = home != nullptr;
    if (!network && connection->ListsBouncerNetworks()) {
        home = connection;
    }
    if (!home) {
        return;
    }
    const std::string id = connection->BouncerNetwork();
    const BouncerNetworkDialog::Attributes attributes =
        network ? app->BouncerNetworks(*home)[id] : BouncerNetworkDialog::Attributes{};
    const std::weak_ptr<IRCConnection> weak = home;
    QAction* const action = menu->addAction(network ? QStringLiteral("Edit &Bouncer Network...")
                                                    : QStringLiteral("Add &Bouncer Network..."));
    QObject::connect(action, &QAction::triggered, &form, [&form, weak, id, attributes, network] {
        auto* dialog = new BouncerNetworkDialog(attributes, &form);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::finished, &form, [dialog, weak, id, network](int result) {
            const std::shared_ptr<IRCConnection> login = weak.lock();
            if (!login || login->Deleted()) {
                return;
            }
            if (result == QDialog::Accepted) {
                if (network) {
                    Application::ChangeBouncerNetwork(*login, id, dialog->Changes());
                } else {
                    Application::AddBouncerNetwork(*login, dialog->Entered());
                }
            } else if (result == BouncerNetworkDialog::kRemove && network) {
                Application::DeleteBouncerNetwork(*login, id);
            }
        });
        dialog->open();
    });
}

std::string Get(SettingsStore& settings, std::string_view key, std::string_view fallback)
{
    return settings.GetSetting(SettingsAppName(), std::string(settings::Section), std::string(key),
                               std::string(fallback));
}

// The tree's width when the user has chosen none, in pixels.
constexpr int kTreeWidth = 170;

} // namespace

// The window: its close request goes to the core first.
class QtMainWindowView::Form final : public QMainWindow {
public:
    explicit Form(QtMainWindowView* view) : view_(view) {}
    ~Form() override
    {
        // The child windows go after this part of the form, with the area.
        for (auto it = items_.cbegin(); it != items_.cend(); ++it) {
            QObject::disconnect(it.key(), &QObject::destroyed, this, nullptr);
        }
    }
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    void Forget() { view_ = nullptr; }
    QtMainWindowView* View() const { return view_; }
    void RememberIn(SettingsStore* settings) { settings_ = settings; }

    void SaveLayout()
    {
        if (settings_ == nullptr) {
            return;
        }
        // Only a width the user dragged to: the laid-out one follows the font.
        if (dock_ != nullptr && dock_->isVisible() && dock_->width() != treeWidth_) {
            treeWidth_ = dock_->width();
            settings_->SaveSetting(SettingsAppName(), std::string(settings::Section),
                                   std::string(settings::WindowTreeWidth), std::to_string(treeWidth_));
        }
        const QRect place = isMaximized() || isMinimized() ? normalGeometry() : geometry();
        if (!place.isValid()) {
            return;
        }
        std::ostringstream value;
        value << place.left() << ' ' << place.top() << ' ' << place.width() << ' ' << place.height() << ' '
              << (isMaximized() ? static_cast<int>(WindowState::Maximized)
                                : static_cast<int>(WindowState::Normal));
        settings_->SaveSetting(SettingsAppName(), QtChildView::kLayoutSection, kMainWindowKey, value.str());
    }

    // False where no place is kept.
    bool RestoreLayout()
    {
        if (settings_ == nullptr) {
            return false;
        }
        std::istringstream fields(
            settings_->GetSetting(SettingsAppName(), QtChildView::kLayoutSection, kMainWindowKey, ""));
        int left = 0, top = 0, width = 0, height = 0, state = -1;
        if (!(fields >> left >> top >> width >> height >> state) || width < 200 || height < 150) {
            return false;
        }
        QRect place(left, top, width, height);
        if (const QScreen* screen = this->screen(); screen != nullptr) {
            const QRect room = screen->availableGeometry();
            place.setSize(place.size().boundedTo(room.size()));
            place.moveLeft(std::clamp(place.left(), room.left(), room.right() + 1 - place.width()));
            place.moveTop(std::clamp(place.top(), room.top(), room.bottom() + 1 - place.height()));
        }
        setGeometry(place);
        if (state == static_cast<int>(WindowState::Maximized)) {
            showMaximized();
        } else {
            showNormal();
        }
        return true;
    }

    // The Window menu's list of child windows, kept in step with each window as it comes,
    // changes its caption and goes: thousands of query windows must not mean rebuilding
    // thousands of items.
    void SetWindowMenu(QMenu* menu, QMdiArea* area)
    {
        windowMenu_ = menu;
        area_ = area;
        separator_ = menu->addSeparator();
        separator_->setVisible(false);
        QObject::connect(menu, &QMenu::aboutToShow, this, [this] { CheckActive(); });
    }

    void ListWindow(QMdiSubWindow* child)
    {
        if (windowMenu_ == nullptr || child == nullptr || items_.contains(child)) {
            return;
        }
        QAction* item = windowMenu_->addAction(MenuText(child->windowTitle()));
        item->setCheckable(true);
        items_.insert(child, item);
        separator_->setVisible(true);
        QObject::connect(child, &QWidget::windowTitleChanged, item,
                         [item](const QString& title) { item->setText(MenuText(title)); });
        QObject::connect(item, &QAction::triggered, area_, [this, item, child = QPointer<QMdiSubWindow>(child)] {
            item->setChecked(item == checked_); // the active window's item is checked, none else
            ActivateWindow(child);
        });
        // The key only: the window is half gone when it says so.
        QObject::connect(child, &QObject::destroyed, this, [this, child] { UnlistWindow(child); });
        if (bar_ != nullptr) {
            bar_->Add(child);
        }
        if (tree_ != nullptr) {
            tree_->Model().Add(child);
            if (child == area_->activeSubWindow()) {
                tree_->Follow(child);
            }
        }
        if (layout_ != nullptr) {
            layout_->Adopt(child);
        }
    }

    void ActivateWindow(QMdiSubWindow* child, bool keyboard = true)
    {
        if (child != nullptr && area_ != nullptr && layout_ != nullptr) {
            layout_->Show(child, keyboard);
        }
    }

    // A click on a window's desktop notification: that window in front, and the program too.
    // The pointer is only compared, never followed: a window gone is simply not listed.
    void BringForward(const void* window)
    {
        const auto item = items_.constFind(static_cast<QMdiSubWindow*>(const_cast<void*>(window)));
        if (item == items_.cend()) {
            return;
        }
        if (isMinimized()) {
            setWindowState(windowState() & ~Qt::WindowMinimized);
        }
        show();
        raise();
        activateWindow();
        ActivateWindow(item.key());
    }

    void SetBar(WindowBar* bar) { bar_ = bar; }
    WindowBar* Bar() const { return bar_; }
    void SetTree(WindowTree* tree, QDockWidget* dock)
    {
        tree_ = tree;
        dock_ = dock;
    }
    WindowTree* Tree() const { return tree_; }
    QDockWidget* TreeDock() const { return dock_; }
    void SetLayout(WindowLayout* layout, QAction* cascade, QAction* tile)
    {
        layout_ = layout;
        cascade_ = cascade;
        tile_ = tile;
    }
    WindowLayout* Layout() const { return layout_; }

    // What the settings say of the lists of windows and the layout.
    void ApplySettings()
    {
        if (settings_ == nullptr) {
            return;
        }
        const std::string list =
            QString::fromStdString(Get(*settings_, settings::WindowList, settings::WindowListDefault))
                .trimmed()
                .toLower()
                .toStdString();
        const bool bar = list == "bar" || list == "both";
        const bool tree = !bar || list == "both";
        bar_->setVisible(bar);
        dock_->setVisible(tree);
        tree_->Model().SetSorted(
            settings::ReadCheckBox(Get(*settings_, settings::WindowTreeSorted,
                                       settings::WriteCheckBox(settings::WindowTreeSortedDefault)),
                                   settings::WindowTreeSortedDefault));
        layout_->SetMode(
            WindowLayout::Read(Get(*settings_, settings::WindowLayout, settings::WindowLayoutDefault)));
        // Arranging the windows has no meaning where one fills the area.
        cascade_->setEnabled(!layout_->OneAtATime());
        tile_->setEnabled(!layout_->OneAtATime());
    }

    void RestoreTreeWidth()
    {
        bool number = false;
        const int stored =
            settings_ == nullptr
                ? 0
                : QString::fromStdString(Get(*settings_, settings::WindowTreeWidth, "")).trimmed().toInt(&number);
        treeWidth_ = number && stored >= 40 && stored <= 4000 ? stored : kTreeWidth;
        resizeDocks({dock_}, {treeWidth_}, Qt::Horizontal);
        treeWidth_ = dock_->width();
    }

    // The bar's button, the tree's row and the menu's entry; nothing else is touched.
    void ShowActivity(QMdiSubWindow* child, Activity level)
    {
        if (bar_ != nullptr) {
            bar_->ShowActivity(child, level);
        }
        if (tree_ != nullptr) {
            tree_->Model().SetActivity(child, level);
        }
        if (QAction* const item = items_.value(child); item != nullptr) {
            QFont font = item->font();
            font.setBold(level >= Activity::Messages);
            item->setFont(font);
            item->setIcon(level == Activity::None ? QIcon() : LevelIcon(level));
        }
    }

private:
    QIcon LevelIcon(Activity level) const
    {
        QPixmap dot(12, 12);
        dot.fill(Qt::transparent);
        QPainter painter(&dot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(WindowBar::LevelColour(level, windowMenu_->palette()));
        painter.drawEllipse(QRectF(2, 2, 8, 8));
        painter.end();
        return QIcon(dot);
    }

    // A caption's "&" (a channel named "&local") is text, not an access key.
    static QString MenuText(QString title) { return title.replace('&', QStringLiteral("&&")); }

    void UnlistWindow(QMdiSubWindow* child)
    {
        QAction* const item = items_.take(child);
        if (item == nullptr) {
            return;
        }
        if (item == checked_) {
            checked_ = nullptr;
        }
        windowMenu_->removeAction(item);
        item->deleteLater();
        separator_->setVisible(!items_.isEmpty());
    }

    void CheckActive()
    {
        QAction* const active = items_.value(area_->activeSubWindow());
        if (checked_ != nullptr && checked_ != active) {
            checked_->setChecked(false);
        }
        if (active != nullptr) {
            active->setChecked(true);
        }
        checked_ = active;
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        bool cancel = false;
        if (view_ != nullptr) {
            // The core may let this view go while it answers.
            view_->RaiseQueryUnload(cancel);
        }
        if (cancel) {
            event->ignore();
        } else {
            SaveLayout();
            QMainWindow::closeEvent(event);
        }
    }

private:
    QtMainWindowView* view_;
    QMenu* windowMenu_ = nullptr;
    QMdiArea* area_ = nullptr;
    QAction* separator_ = nullptr;
    WindowBar* bar_ = nullptr;
    WindowTree* tree_ = nullptr;
    QDockWidget* dock_ = nullptr;
    int treeWidth_ = 0; // as restored or last saved
    WindowLayout* layout_ = nullptr;
    QAction* cascade_ = nullptr;
    QAction* tile_ = nullptr;
    SettingsStore* settings_ = nullptr;
    QHash<QMdiSubWindow*, QAction*> items_;
    QAction* checked_ = nullptr;
};

QtMainWindowView::QtMainWindowView()
{
    form_ = new Form(this);
    Form& form = *form_;
    QObject::connect(&Notifier::Instance(), &Notifier::clicked, &form,
                     [&form](const void* window) { form.BringForward(window); });
    form.setWindowIcon(Icon());
    auto* area = new QMdiArea(&form);
    // The desktop's colour for an application's workspace.
    area->setBackground(form.palette().brush(QPalette::Dark));
    form.setCentralWidget(area);
    form.resize(1024, 700);

    QMenuBar& bar = *form.menuBar();
    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    QAction* networks = file->addAction(QStringLiteral("&Networks..."));
    networks->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    networks->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(networks, &QAction::triggered, &form, [&form] {
        if (QtMainWindowView* view = form.View()) {
            view->OpenNetworks();
        }
    });
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    QMenu* window = bar.addMenu(QStringLiteral("&Window"));
    QAction* connectDialog = window->addAction(QStringLiteral("&Connect Dialog"));
    connectDialog->setShortcut(QKeySequence(Qt::Key_F2));
    connectDialog->setShortcutContext(Qt::ApplicationShortcut);
    QAction* cascade = window->addAction(QStringLiteral("C&ascade"));
    QAction* tile = window->addAction(QStringLiteral("&Tile"));
    QAction* next = window->addAction(QStringLiteral("&Next"));
    QAction* previous = window->addAction(QStringLiteral("&Previous"));
    QAction* search = window->addAction(QStringLiteral("&Search Logs..."));
    search->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    search->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(search, &QAction::triggered, &form, [&form] {
        if (QtMainWindowView* view = form.View()) {
            view->OpenSearch();
        }
    });
    QMenu* settingsMenu = bar.addMenu(QStringLiteral("&Settings"));
    QAction* preferences = settingsMenu->addAction(QStringLiteral("&Preferences..."));
    QObject::connect(preferences, &QAction::triggered, &form, [&form] {
        if (QtMainWindowView* view = form.View()) {
            view->OpenPreferences();
        }
    });
    QMenu* help = bar.addMenu(QStringLiteral("&?"));
    QAction* about = help->addAction(QStringLiteral("&About"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::ApplicationShortcut);

    // A menu item may end the program: each is raised through the form, which outlives the view.
    QObject::connect(exit, &QAction::triggered, &form, [&form] {
        if (QtMainWindowView* view = form.View()) {
            view->RaiseMenu(view->Events.mnuFileExit_Click, "File > Exit");
        }
    });
    QObject::connect(connectDialog, &QAction::triggered, &form, [&form] {
        if (QtMainWindowView* view = form.View()) {
            view->RaiseMenu(view->Events.mnuWindowConnectDlg_Click, "Window > Connect Dialog");
        }
    });
    QObject::connect(about, &QAction::triggered, &form, [&form] {
        if (QtMainWindowView* view = form.View()) {
            view->RaiseMenu(view->Events.mnuHelpAbout_Click, "? > About");
        }
    });
    auto* windowBar = new WindowBar(
        *area, [&form](QMdiSubWindow* child) { form.ActivateWindow(child); }, &form);
    form.addToolBar(Qt::TopToolBarArea, windowBar);
    form.SetBar(windowBar);
    windowBar->toggleViewAction()->setVisible(false); // the preferences choose the lists

    auto* treeModel = new WindowTreeModel(&form);
    WindowTree::Actions actions;
    actions.activate = [&form](QMdiSubWindow* child, bool keyboard) { form.ActivateWindow(child, keyboard); };
    // Asked, not done: the core may refuse (the status window) or close it its own way.
    actions.close = [](QMdiSubWindow* child) { child->close(); };
    actions.run = [](QMdiSubWindow* child, const std::string& line) {
        if (QtChildView* view = QtChildView::Of(child); view != nullptr) {
            view->RunCommand(line);
        }
    };
    actions.editNetwork = [&form](const QString& label) {
        if (QtMainWindowView* view = form.View()) {
            view->OpenNetworks(label.toStdString());
        }
    };
    actions.moreForConnection = [&form](QMdiSubWindow* child, QMenu* menu) {
        OfferBouncerNetworks(form, child, menu);
    };
    auto* tree = new WindowTree(*treeModel, std::move(actions));
    auto* dock = new QDockWidget(QStringLiteral("Windows"), &form);
    dock->setObjectName(QStringLiteral("windowTreeDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setTitleBarWidget(new QWidget(dock)); // the tree is all the dock shows
    dock->setWidget(tree);
    dock->toggleViewAction()->setVisible(false);
    form.addDockWidget(Qt::LeftDockWidgetArea, dock);
    form.SetTree(tree, dock);
    QObject::connect(area, &QMdiArea::subWindowActivated, tree,
                     [tree](QMdiSubWindow* child) { tree->Follow(child); });
    windowBar->setVisible(false);
    form.SetLayout(new WindowLayout(*area), cascade, tile);

    QObject::connect(cascade, &QAction::triggered, area, &QMdiArea::cascadeSubWindows);
    QObject::connect(tile, &QAction::triggered, area, &QMdiArea::tileSubWindows);
    // The keys work wherever the focus is in the main window, the input line included (the
    // area's own Ctrl+Tab comes after a shortcut, so it never sees these).
    auto keys = [&form](QAction* action, const QList<QKeySequence>& sequences) {
        action->setShortcuts(sequences);
        action->setShortcutContext(Qt::WindowShortcut);
        form.addAction(action);
    };
    // A shortcut comes before the key press the area's own Ctrl+Tab cycling waits for.
    keys(next, {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)});
    keys(previous,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
          QKeySequence(Qt::CTRL | Qt::Key_PageUp)});
    QObject::connect(next, &QAction::triggered, &form,
                     [&form, windowBar] { form.ActivateWindow(windowBar->Step(1)); });
    QObject::connect(previous, &QAction::triggered, &form,
                     [&form, windowBar] { form.ActivateWindow(windowBar->Step(-1)); });
    for (int number = 1; number <= 10; ++number) {
        auto* go = new QAction(&form);
        keys(go, {QKeySequence(Qt::ALT | (Qt::Key_0 + number % 10))});
        QObject::connect(go, &QAction::triggered, &form,
                         [&form, windowBar, number] { form.ActivateWindow(windowBar->Numbered(number)); });
    }
    auto* hottest = new QAction(&form);
    keys(hottest, {QKeySequence(Qt::ALT | Qt::Key_A)});
    QObject::connect(hottest, &QAction::triggered, &form,
                     [&form, windowBar] { form.ActivateWindow(windowBar->Hottest()); });
    // Below the dialog's and the arranging items, the open child windows; choosing one activates it.
    form.SetWindowMenu(window, area);
}

QtMainWindowView::~QtMainWindowView()
{
    if (gone_) {
        std::exchange(gone_, {})();
    }
    // The list it shows goes with the application; a click in it may be what ends the program.
    if (networks_) {
        networks_->Detach();
        networks_->deleteLater();
    }
    LetGoLater(form_.data());
}

QMainWindow* QtMainWindowView::Window() const
{
    return form_.data();
}

QMdiArea* QtMainWindowView::Area() const
{
    return form_ ? static_cast<QMdiArea*>(form_->centralWidget()) : nullptr;
}

void QtMainWindowView::ListWindow(QMdiArea& area, QMdiSubWindow* child)
{
    if (auto* form = dynamic_cast<Form*>(area.window()); form != nullptr) {
        form->ListWindow(child);
    }
}

void QtMainWindowView::ShowActivity(QMdiArea& area, QMdiSubWindow* child, Activity level)
{
    if (auto* form = dynamic_cast<Form*>(area.window()); form != nullptr) {
        form->ShowActivity(child, level);
    }
}

WindowTreeModel* QtMainWindowView::TreeOf(QMdiArea& area)
{
    auto* form = dynamic_cast<Form*>(area.window());
    return form != nullptr && form->Tree() != nullptr ? &form->Tree()->Model() : nullptr;
}

WindowBar* QtMainWindowView::Bar() const
{
    return form_ ? form_->Bar() : nullptr;
}

WindowTree* QtMainWindowView::Tree() const
{
    return form_ ? form_->Tree() : nullptr;
}

QDockWidget* QtMainWindowView::TreeDock() const
{
    return form_ ? form_->TreeDock() : nullptr;
}

WindowLayout* QtMainWindowView::Layout() const
{
    return form_ ? form_->Layout() : nullptr;
}

void QtMainWindowView::SetEditNetwork(std::function<void(QString)> edit)
{
    if (form_ && form_->Tree() != nullptr) {
        form_->Tree()->SetEditNetwork(std::move(edit));
    }
}

void QtMainWindowView::RememberIn(SettingsStore* settings)
{
    settings_ = settings;
    form_->RememberIn(settings);
    form_->ApplySettings();
    if (settings != nullptr) {
        Notifier::Instance().SetEnabled(
            settings::ReadCheckBox(settings->GetSetting(SettingsAppName(), std::string(settings::Section),
                                                        std::string(settings::Notifications),
                                                        settings::WriteCheckBox(settings::NotificationsDefault)),
                                   settings::NotificationsDefault));
    }
}

PreferencesDialog* QtMainWindowView::Preferences() const
{
    return preferences_.data();
}

LogIndex* QtMainWindowView::Index()
{
    if (!index_ && form_) {
        index_ = LogIndex::OpenDefault(form_);
        index_->ReportInStatusWindow();
    }
    return index_;
}

void QtMainWindowView::LogsGrew(const std::vector<std::string>& paths)
{
    if (index_) {
        index_->CatchUp(paths);
    }
}

SearchWindow* QtMainWindowView::Search() const
{
    return search_;
}

bool QtMainWindowView::OpenSearch(const QString& words)
{
    LogIndex* index = Index();
    if (index == nullptr) {
        return false;
    }
    if (!search_) {
        search_ = new SearchWindow(*index, form_);
        search_->setAttribute(Qt::WA_DeleteOnClose);
    }
    search_->show();
    search_->raise();
    search_->activateWindow();
    search_->QueryBox()->setFocus(Qt::ShortcutFocusReason);
    if (!words.isEmpty()) {
        search_->QueryBox()->setText(words);
        search_->SearchNow();
    }
    search_->QueryBox()->selectAll();
    return true;
}

void QtMainWindowView::OpenPreferences()
{
    if (settings_ == nullptr) {
        return;
    }
    if (preferences_) {
        preferences_->raise();
        preferences_->activateWindow();
        return;
    }
    preferences_ = new PreferencesDialog(*settings_, form_);
    preferences_->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(preferences_, &QDialog::accepted, form_, [form = form_] {
        if (form) {
            form->ApplySettings();
        }
        if (form && form->View() != nullptr) {
            form->View()->RaiseMenu(form->View()->Events.SettingsChanged, "Settings > Preferences");
        }
    });
    preferences_->open();
}

NetworksDialog* QtMainWindowView::NetworksWindow() const
{
    return networks_.data();
}

void QtMainWindowView::OpenNetworks(const std::string& name)
{
    const std::shared_ptr<Application> app = Application::Instance();
    if (app == nullptr || !form_) {
        return;
    }
    if (!networks_) {
        networks_ = new NetworksDialog(
            app->SavedNetworks(),
            [](const std::string& name) {
                // Held across the command: it may end the program.
                if (const std::shared_ptr<Application> running = Application::Instance()) {
                    running->ProcessCommand("CONNECT " + name, true, 0);
                }
            },
            form_);
        networks_->setAttribute(Qt::WA_DeleteOnClose);
    }
    networks_->show();
    networks_->raise();
    networks_->activateWindow();
    if (!name.empty()) {
        networks_->Edit(name);
    }
}

QIcon QtMainWindowView::Icon()
{
    // The drawing of data/tellix.svg: two speech bubbles on a blue tile.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        const QColor blue(0x2b, 0x57, 0x97);
        painter.setPen(Qt::NoPen);
        painter.setBrush(blue);
        painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        QPainterPath white;
        white.addRoundedRect(QRectF(8, 14, 36, 22), 4, 4);
        white.moveTo(16, 35);
        white.lineTo(16, 43);
        white.lineTo(24, 35);
        painter.setBrush(Qt::white);
        painter.drawPath(white.simplified());
        QPainterPath yellow;
        yellow.addRoundedRect(QRectF(26, 30, 30, 20), 4, 4);
        yellow.moveTo(43, 49);
        yellow.lineTo(50, 56);
        yellow.lineTo(50, 49);
        painter.setBrush(QColor(0xf0, 0xc4, 0x19));
        painter.drawPath(yellow.simplified());
        painter.setBrush(blue);
        painter.drawRoundedRect(QRectF(15, 21, 22, 3), 1.5, 1.5);
        painter.drawRoundedRect(QRectF(15, 27, 14, 3), 1.5, 1.5);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void QtMainWindowView::RaiseQueryUnload(bool& cancel)
{
    const std::int32_t mode = unloading_ ? 1 : 0;
    AtBoundary("main window close request", [&] { Events.QueryUnload.raise(cancel, mode); });
}

void QtMainWindowView::RaiseMenu(const Event<>& click, const char* where)
{
    AtBoundary(where, [&] { click.raise(); });
}

void QtMainWindowView::SetCaption(const std::string& caption)
{
    form_->setWindowTitle(DecodeForDisplay(caption));
}

void QtMainWindowView::Show()
{
    if (!form_->RestoreLayout()) {
        // Without a window manager nothing maximizes; the window still fits on the screen.
        if (const QScreen* screen = form_->screen(); screen != nullptr) {
            form_->resize(form_->size().boundedTo(screen->availableGeometry().size()));
        }
        form_->showMaximized();
    }
    // Once the window has its size: a dock is only sized inside a laid-out window.
    QMetaObject::invokeMethod(
        form_, [form = form_] { form->RestoreTreeWidth(); }, Qt::QueuedConnection);
}

void QtMainWindowView::Hide()
{
    form_->hide();
}

void QtMainWindowView::Unload()
{
    unloading_ = true;
    form_->close();
}

void QtMainWindowView::ShowAboutBox(const std::string& title, const std::string& caption,
                                    const std::vector<std::string>& lines)
{
    // Informational and modeless: nothing follows from closing it.
    auto* box = new QMessageBox(form_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(DecodeForDisplay(title));
    box->setIconPixmap(Icon().pixmap(64, 64));
    box->setText(DecodeForDisplay(caption));
    QString text;
    for (const std::string& line : lines) {
        text += DecodeForDisplay(line) + QLatin1Char('\n');
    }
    box->setInformativeText(text.trimmed());
    box->setStandardButtons(QMessageBox::Ok);
    box->setModal(false);
    box->show();
}

} // namespace tellix
