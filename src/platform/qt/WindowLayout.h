#pragma once

#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>

#include <list>
#include <string_view>
#include <unordered_map>

class QMdiArea;

namespace tellix {

// How the windows share the document area. One at a time: each window fills the area without
// a frame, and whichever is active is the one shown; the others are a click away in the tree.
// Overlapping: windows with frames, cascaded and tiled as the user likes.
//
// In both, a window that goes while in front (closed or hidden) hands the area to the one
// used before it, filling the area as it did: nothing drops back to a pile of small windows.
class WindowLayout final : public QObject {
public:
    enum class Mode { OneAtATime, Overlapping };

    explicit WindowLayout(QMdiArea& area);

    // The layout of an area's windows, null where it has none.
    static WindowLayout* Of(const QMdiArea& area);
    // The mode a stored setting names; anything else is the default.
    static Mode Read(std::string_view stored);
    static std::string_view Write(Mode mode);

    Mode GetMode() const { return mode_; }
    void SetMode(Mode mode);
    bool OneAtATime() const { return mode_ == Mode::OneAtATime; }
    // What a window of this area is made with: in one at a time, no frame.
    void Adopt(QMdiSubWindow* window);
    // Brings a window forward as the user asked for it: active, and filling the area in one at
    // a time. With `keyboard`, its own widget takes the keyboard (a view gives it to its input
    // line), as when the user switches windows while typing.
    void Show(QMdiSubWindow* window, bool keyboard = true);
    // Hidden by the layout while another fills the area, yet open: a click away.
    static bool IsPutAway(const QMdiSubWindow& window);
    // Hidden as the core asked: it stays so, whatever the layout had put away, back among
    // the area's windows.
    void Release(QMdiSubWindow& window);
    // In one at a time the windows behind are hidden, and out of the area's list: every window
    // shown costs each repaint of the area a pass, and every window in the list each activation
    // a few, so a switch and a line would grow with the number of windows.
    void PutAway(QMdiSubWindow& window);
    // A window that opens behind the one in front goes away before it is ever shown, in
    // `state` as far as anyone asks.
    void KeepAway(QMdiSubWindow& window, Qt::WindowStates state);
    // The state a window put away comes back in: its own is left as it was, since changing
    // it shows the window.
    static Qt::WindowStates AwayState(const QMdiSubWindow& window);
    static void SetAwayState(QMdiSubWindow& window, Qt::WindowStates state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(QMdiSubWindow* window);
    // The window is in front now: it is the latest used, fills the area where it should, and
    // the one before goes back behind it.
    void Take(QMdiSubWindow& window);
    // Maximizes or restores a window, the keyboard staying where it is.
    void Fill(QMdiSubWindow& window, bool filled);
    // Shown again; `behind` the window in front, or to come in front of it.
    void BringBack(QMdiSubWindow& window, bool behind);
    static void Unmark(QMdiSubWindow& window);
    // Out of the area's list, and back into it.
    void Park(QMdiSubWindow& window);
    void Unpark(QMdiSubWindow& window);
    // A window is going: the area activates one of its own choosing meanwhile (not the one
    // used before, nor always any), so who is in front is settled once the event loop turns.
    void Unsettle();
    void Settle();

    QMdiArea& area_;
    const QObject* viewport_ = nullptr; // where the area's windows live
    QWidget* away_ = nullptr;           // hidden; holds the windows put away
    bool parking_ = false;              // a window leaves the viewport as it is put away
    Mode mode_ = Mode::OneAtATime;
    QPointer<QMdiSubWindow> front_; // the window in front, as last settled
    // The windows in the order they were last in front, the latest last, each found through
    // `usedAt_`: a switch moves one to the end without a pass over the others.
    std::list<QMdiSubWindow*> used_;
    std::unordered_map<const QMdiSubWindow*, std::list<QMdiSubWindow*>::iterator> usedAt_;
    bool settling_ = false;
    // As the settling began, the window in front was maximized; had the keyboard.
    bool frontFilled_ = false;
    bool frontTyping_ = false;
};

} // namespace tellix
