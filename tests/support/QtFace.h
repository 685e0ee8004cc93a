#pragma once

#include "app/Settings.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/WindowTree.h"
#include "platform/qt/WindowTreeModel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tellix::test {

// The Qt face with no core: a main window on the screen and child windows made through the
// toolkit, told what the core would tell them.
struct Face {
    QTemporaryDir config;
    QtToolkit toolkit;
    std::unique_ptr<MainWindowView> mainView;
    QtMainWindowView* main = nullptr;
    std::vector<std::unique_ptr<ChildView>> views;

    using Stored = std::vector<std::pair<std::string, std::string>>;
    // The settings given are stored first; `folder` is where they live, the face's own by default.
    explicit Face(const Stored& settings = {}, const QString& folder = {})
    {
        qputenv("XDG_CONFIG_HOME", (folder.isEmpty() ? config.path() : folder).toLocal8Bit());
        for (const auto& [key, value] : settings) {
            toolkit.Settings().SaveSetting(SettingsAppName(), "Main", key, value);
        }
        mainView = toolkit.CreateMainWindowView();
        main = static_cast<QtMainWindowView*>(mainView.get());
        main->Window()->resize(1000, 700);
        main->Window()->showNormal();
        main->Window()->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(main->Window()));
    }
    ~Face()
    {
        views.clear();
        mainView.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QtChildView& Open(const std::string& caption, const std::string& group = "", const std::string& label = "",
                      bool head = false)
    {
        views.push_back(toolkit.CreateChildView());
        auto& view = static_cast<QtChildView&>(*views.back());
        view.SetCaption(caption);
        if (!group.empty()) {
            view.SetGroup(group, label, head);
        }
        return view;
    }
    // A channel window, as the core makes one when the channel is joined.
    QtChildView& OpenChannel(const std::string& caption, const std::string& channel, const std::string& group)
    {
        QtChildView& view = Open(caption, group, "", false);
        view.SetName(channel);
        view.ShowTopicBar(true);
        return view;
    }
    // As the core closes a window: the form is unloaded, then the view let go.
    void Close(ChildView& view)
    {
        view.Unload();
        std::erase_if(views, [&view](const auto& held) { return held.get() == &view; });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    WindowTree& Tree() const { return *main->Tree(); }
    WindowTreeModel& Model() const { return main->Tree()->Model(); }
    QModelIndex Row(const QtChildView& view) const { return Model().IndexOf(view.SubWindow()); }
    QMdiArea& Area() const { return *main->Area(); }

    // The tree as the user reads it, children indented.
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> rows;
        const WindowTreeModel& model = Model();
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex top = model.index(row, 0);
            rows.push_back(top.data().toString().toStdString());
            for (int child = 0; child < model.rowCount(top); ++child) {
                rows.push_back("  " + model.index(child, 0, top).data().toString().toStdString());
            }
        }
        return rows;
    }
    void Click(const QtChildView& view, Qt::MouseButton button = Qt::LeftButton) const
    {
        Tree().scrollTo(Row(view));
        QTest::mouseClick(Tree().viewport(), button, {}, Tree().visualRect(Row(view)).center());
    }
};

} // namespace tellix::test
