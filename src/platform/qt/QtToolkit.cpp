#include "platform/qt/QtToolkit.h"

#include "platform/qt/ChannelListWindow.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtConnectDialogView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qtcore/Boundary.h"
#include "util/CoreError.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>

#include <array>

namespace tellix {

namespace {

// Every window's title bar menu asks the style for its icons as the window is made, and the
// style decodes them from their images each time: with a stranger's window per private line,
// a tenth of the cost of a window. The title bar's icons are the same for every window.
class TitleBarIcons final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap pixmap, const QStyleOption* option, const QWidget* widget) const override
    {
        if (option != nullptr || pixmap < SP_TitleBarMenuButton || pixmap > SP_TitleBarContextHelpButton) {
            return QProxyStyle::standardIcon(pixmap, option, widget);
        }
        QIcon& icon = icons_[static_cast<std::size_t>(pixmap - SP_TitleBarMenuButton)];
        if (icon.isNull()) {
            icon = QProxyStyle::standardIcon(pixmap, nullptr, widget);
        }
        return icon;
    }

private:
    mutable std::array<QIcon, SP_TitleBarContextHelpButton - SP_TitleBarMenuButton + 1> icons_;
};

} // namespace

std::unique_ptr<MainWindowView> QtToolkit::CreateMainWindowView()
{
    if (dynamic_cast<const TitleBarIcons*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(new TitleBarIcons(QStyleFactory::create(QApplication::style()->name())));
    }
    auto view = std::make_unique<QtMainWindowView>();
    view->RememberIn(&settings_);
    mainWindow_ = view.get();
    view->OnGone([this, gone = view.get()] {
        if (mainWindow_ == gone) {
            mainWindow_ = nullptr;
        }
    });
    area_ = view->Area();
    return view;
}

QMdiArea& QtToolkit::Area() const
{
    if (!area_) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    return *area_;
}

LogFileWriter& QtToolkit::LogWriter()
{
    if (!logWriter_) {
        logWriter_ = std::make_unique<LogFileWriter>(LogFileWriter::DefaultRoot());
        logWriter_->Written = [this](const std::vector<std::string>& paths) {
            if (mainWindow_ != nullptr) {
                mainWindow_->LogsGrew(paths);
            }
        };
    }
    return *logWriter_;
}

std::unique_ptr<ChildView> QtToolkit::CreateChildView()
{
    QMdiArea& area = Area();
    auto view = std::make_unique<QtChildView>(area);
    view->RememberIn(&settings_);
    QtMainWindowView::ListWindow(area, view->SubWindow());
    return view;
}

std::unique_ptr<ConnectDialogView> QtToolkit::CreateConnectDialogView()
{
    return std::make_unique<QtConnectDialogView>(Area().window());
}

std::unique_ptr<ChannelListView> QtToolkit::CreateChannelListView()
{
    return std::make_unique<ChannelListWindow>(Area().window());
}

void QtToolkit::Beep()
{
    QApplication::beep();
}

void QtToolkit::Post(std::function<void()> task)
{
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [task = std::move(task)] { AtBoundary("posted task", task); });
}

// Not modal: the connections go on while the user reads the certificate. Its names come from
// the network, so the box shows them as plain text, never as markup.
bool QtToolkit::SearchLogs(const std::string& words)
{
    return mainWindow_ != nullptr && mainWindow_->OpenSearch(QString::fromStdString(words));
}

void QtToolkit::AskTrust(const std::string& host, std::int32_t port, const CertificateRefusal& refusal,
                         std::function<void()> trust)
{
    const std::string where = host + ", port " + std::to_string(port);
    const std::string question =
        refusal.pinMismatch ? "The certificate of " + where +
                                  " is not the one you trusted there. It may have been renewed, or someone may "
                                  "stand between you and the server. Trust this one instead?"
                            : "The certificate of " + where + " was refused: " + refusal.reason +
                                  ". Trust it for this server and port?";
    const std::string details = "\n\nSubject: " + refusal.subject + "\nIssuer: " + refusal.issuer +
                                "\nValid from " + refusal.validFrom + " until " + refusal.validUntil +
                                "\nSHA-256 fingerprint: " + refusal.fingerprint;
    auto* box = new QMessageBox(QApplication::activeWindow());
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Certificate refused"));
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(question + details));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* yes = box->addButton(QStringLiteral("&Trust and connect"), QMessageBox::AcceptRole);
    QPushButton* no = box->addButton(QStringLiteral("&Do not trust"), QMessageBox::RejectRole);
    box->setDefaultButton(no);
    QObject::connect(yes, &QPushButton::clicked, box,
                     [trust = std::move(trust)] { AtBoundary("trust certificate", trust); });
    box->open();
}

} // namespace tellix
