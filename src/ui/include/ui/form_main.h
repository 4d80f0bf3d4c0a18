#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPlainTextEdit;
class QPushButton;

namespace engine {
class Updater;
}

namespace ui {

class Tpotok;
class WindowUpdateSink;

// The program's main window: the log of the current update run, the button and menu command
// that start a run on a worker, the options dialog, the about box and the exit command. Each
// control's objectName is its name (Memo1, Button_update, Button_cancel, MainMenu1, N1 to N7;
// Label_files and ProgressBar_file show the download in progress).
// The engine state (settings, HTTP client, lists) is shared with the worker of the run in
// progress, so a worker may outlive the window. UI thread only.
class TForm_main : public QMainWindow
{
    Q_OBJECT

public:
    // FormCreate. updater holds the settings loaded from config.ini; a proxy password that could
    // not be read is reported in an error box before the constructor returns.
    explicit TForm_main(std::shared_ptr<engine::Updater> updater, QWidget* parent = nullptr);
    // FormDestroy. A worker still running is neither waited for nor touched: its later reports
    // are dropped.
    ~TForm_main() override;

    // The worker of the run in progress, or null when idle.
    Tpotok* worker() const;
    // Whether a worker has not finished its run yet; the program then leaves without waiting.
    bool workerRunning() const;

    // The report interface that runs of this window write to (from their worker thread).
    std::shared_ptr<WindowUpdateSink> updateSink() const { return m_sink; }

    // Start: when idle, switches the controls to running and starts a worker; else nothing.
    void Button_updateClick();
    // Sets the stop request of a running worker, waits for it (carrying out its reports
    // meanwhile), then switches the controls to idle. The button is never visible.
    void Button_cancelClick();
    // The options command: the options dialog filled from the settings; on OK the settings are
    // copied back and saved. Errors (a port that is no number, config.ini not writable) are
    // shown in an error box.
    void N5Click();
    // The about box.
    void N7Click();

    // What the run's reports do, on the UI thread (see WindowUpdateSink).
    void clearLog();
    void appendLogLine(const QString& line);
    // Idle also hides the download's progress.
    void setUpdateControls(bool running);
    // File fileNumber of fileCount, received of total bytes (total -1: unknown).
    void showProgress(int fileNumber, int fileCount, qint64 received, qint64 total);
    void showRunError(const QString& message);

protected:
    // FormClose: sets a running worker's stop request; does not wait for it.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenu();
    void onWorkerFinished();

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button_update = nullptr;
    QPushButton* Button_cancel = nullptr;
    QLabel* Label_files = nullptr;            // "Файл k из n" while a file downloads
    QProgressBar* ProgressBar_file = nullptr; // how far the current file has come
    QAction* N4 = nullptr;                    // Файл / Обновить базы
    QAction* N2 = nullptr;                    // Файл / Выход
    QAction* N5 = nullptr;                    // Настройка / Настройка
    QAction* N7 = nullptr;                    // ? / О программе

    const std::shared_ptr<engine::Updater> m_updater;
    const std::shared_ptr<WindowUpdateSink> m_sink;
    QPointer<Tpotok> m_worker;
};

} // namespace ui
