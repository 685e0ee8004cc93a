#include "platform/qt/QtMainWindowView.h"

#include "platform/qt/Boundary.h"
#include "platform/qt/TextDecoding.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
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

namespace tellix {

// The window: its close request goes to the core first.
class QtMainWindowView::Form final : public QMainWindow {
public:
    explicit Form(QtMainWindowView* view) : view_(view) {}
    void Forget() { view_ = nullptr; }
    QtMainWindowView* View() const { return view_; }

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
            QMainWindow::closeEvent(event);
        }
    }

private:
    QtMainWindowView* view_;
};

QtMainWindowView::QtMainWindowView()
{
    form_ = new Form(this);
    Form& form = *form_;
    form.setWindowIcon(Icon());
    auto* area = new QMdiArea(&form);
    // The desktop's colour for an application's workspace.
    area->setBackground(form.palette().brush(QPalette::Dark));
    form.setCentralWidget(area);
    form.resize(1024, 700);

    QMenuBar& bar = *form.menuBar();
    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    QMenu* window = bar.addMenu(QStringLiteral("&Window"));
    QAction* connectDialog = window->addAction(QStringLiteral("&Connect Dialog"));
    connectDialog->setShortcut(QKeySequence(Qt::Key_F2));
    connectDialog->setShortcutContext(Qt::ApplicationShortcut);
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
    // Below the dialog's item, the open child windows; choosing one activates it.
    QObject::connect(window, &QMenu::aboutToShow, window, [window, connectDialog, area] {
        for (QAction* action : window->actions()) {
            if (action != connectDialog) {
                window->removeAction(action);
                action->deleteLater();
            }
        }
        const QList<QMdiSubWindow*> children = area->subWindowList();
        if (!children.isEmpty()) {
            window->addSeparator();
        }
        for (QMdiSubWindow* child : children) {
            // A caption's "&" (a channel named "&local") is text, not an access key.
            QAction* item = window->addAction(QString(child->windowTitle()).replace('&', QStringLiteral("&&")));
            item->setCheckable(true);
            item->setChecked(child == area->activeSubWindow());
            QObject::connect(item, &QAction::triggered, area, [area, child = QPointer<QMdiSubWindow>(child)] {
                if (child) {
                    if (child->isMinimized()) {
                        child->showNormal();
                    }
                    area->setActiveSubWindow(child);
                }
            });
        }
    });
}

QtMainWindowView::~QtMainWindowView()
{
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
    // Without a window manager nothing maximizes; the window still fits on the screen.
    if (const QScreen* screen = form_->screen(); screen != nullptr) {
        form_->resize(form_->size().boundedTo(screen->availableGeometry().size()));
    }
    form_->showMaximized();
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
