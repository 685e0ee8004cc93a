#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tellix {

class SettingsStore;

// Tells whoever shows a setting the dialog writes (the log's font, say) to read it again.
class Preferences final : public QObject {
    Q_OBJECT
public:
    static Preferences& Instance();

Q_SIGNALS:
    void Changed();

private:
    Preferences() = default;
};

// The settings a user changes while the program runs, on one page: OK writes them all, Cancel
// none. Nothing is checked here that reading a setting does not check again.
class PreferencesDialog final : public QDialog {
public:
    PreferencesDialog(SettingsStore& settings, QWidget* parent);

    QFontComboBox* LogFontBox() const { return logFont_; }
    QSpinBox* LogFontSizeBox() const { return logFontSize_; }
    QLineEdit* HighlightWordsBox() const { return highlightWords_; }
    QLineEdit* QuitMessageBox() const { return quitMessage_; }
    QSpinBox* ScrollbackLinesBox() const { return scrollbackLines_; }
    QCheckBox* NotificationsBox() const { return notifications_; }
    QCheckBox* RejoinChannelsBox() const { return rejoinChannels_; }
    QCheckBox* SendTypingBox() const { return sendTyping_; }
    QCheckBox* LoggingBox() const { return logging_; }
    QSpinBox* HistoryLinesBox() const { return historyLines_; }
    // Where the logs are, to read and copy; the button opens it in the desktop's file manager.
    QLineEdit* LogFolderBox() const { return logFolder_; }
    QPushButton* OpenLogFolderButton() const { return openLogFolder_; }
    // The windows: listed in a tree, on a bar or both; one at a time or overlapping; the tree
    // alphabetical or in the order they came.
    QComboBox* WindowListBox() const { return windowList_; }
    QComboBox* WindowLayoutBox() const { return windowLayout_; }
    QCheckBox* WindowTreeSortedBox() const { return windowTreeSorted_; }

    // The log's font as the settings hold it, the desktop's fixed font where they hold none.
    static QFont LogFont(SettingsStore& settings);
    static constexpr int kLogFontSizeDefault = 10;

    void accept() override;

private:
    void Load();
    void Save();

    SettingsStore& settings_;
    QFontComboBox* logFont_;
    QSpinBox* logFontSize_;
    QLineEdit* highlightWords_;
    QLineEdit* quitMessage_;
    QSpinBox* scrollbackLines_;
    QCheckBox* notifications_;
    QCheckBox* rejoinChannels_;
    QCheckBox* sendTyping_;
    QCheckBox* logging_;
    QSpinBox* historyLines_;
    QLineEdit* logFolder_;
    QPushButton* openLogFolder_;
    QComboBox* windowList_;
    QComboBox* windowLayout_;
    QCheckBox* windowTreeSorted_;
};

} // namespace tellix
