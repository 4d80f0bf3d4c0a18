#include "ui/form_main.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

#include "engine/settings_file.h"
#include "engine/updater.h"
#include "pictures.h"
#include "platform/code_page.h"
#include "platform/convert_error.h"
#include "ui/about_form.h"
#include "ui/error_box.h"
#include "ui/form_options.h"
#include "ui/qt_text.h"
#include "ui/tpotok.h"
#include "ui/window_update_sink.h"
#include "widget_geometry.h"

namespace ui {
namespace {

// The window's client area, below the menu bar.
constexpr QSize kClientSize(462, 215);

} // namespace

TForm_main::TForm_main(std::shared_ptr<engine::Updater> updater, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      m_updater(std::move(updater)), m_sink(std::make_shared<WindowUpdateSink>(this))
{
    setObjectName(QStringLiteral("Form_main"));
    setWindowTitle(QStringLiteral("Программа обновления антивирусных баз для Kavor-а"));
    setWindowIcon(pictures::programIcon());
    setWindowFont(this);

    createControls();
    createMenu();
    setUpdateControls(false);

    // Fixed size: the client area plus whatever height this platform's menu bar takes.
    adjustSize();
    setFixedSize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());

    if (const auto& error = m_updater->settingsLoadError())
        showErrorBox(this, fromEngine(*error));
}

TForm_main::~TForm_main()
{
    m_sink->detach();
}

void TForm_main::createControls()
{
    auto* client = named(new QWidget(this), "ClientArea");
    client->setFixedSize(kClientSize);
    setCentralWidget(client);

    Memo1 = named(new QPlainTextEdit(client), "Memo1");
    Memo1->setGeometry(0, 40, 462, 175);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Button_update =
        named(new QPushButton(QStringLiteral("Обновить базы"), client), "Button_update");
    Button_update->setGeometry(168, 8, 105, 25);
    connect(Button_update, &QPushButton::clicked, this, &TForm_main::Button_updateClick);

    Button_cancel = named(new QPushButton(QStringLiteral("Отменить"), client), "Button_cancel");
    Button_cancel->setGeometry(296, 8, 105, 25);
    Button_cancel->setVisible(false);
    connect(Button_cancel, &QPushButton::clicked, this, &TForm_main::Button_cancelClick);

    // Left and right of the button, in the strip above the log; hidden while idle.
    Label_files = named(new QLabel(client), "Label_files");
    Label_files->setGeometry(8, 8, 150, 25);
    ProgressBar_file = named(new QProgressBar(client), "ProgressBar_file");
    ProgressBar_file->setGeometry(296, 12, 158, 17);
    ProgressBar_file->setTextVisible(true);

    setTabOrder(Memo1, Button_update);
    setTabOrder(Button_update, Button_cancel);
}

void TForm_main::createMenu()
{
    QMenuBar* MainMenu1 = named(menuBar(), "MainMenu1");

    QMenu* N1 = named(MainMenu1->addMenu(QStringLiteral("Файл")), "N1");
    N4 = named(N1->addAction(QStringLiteral("Обновить базы")), "N4");
    N4->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    connect(N4, &QAction::triggered, this, [this] { Button_update->click(); });
    N2 = named(N1->addAction(pictures::exitImage(), QStringLiteral("Выход")), "N2");
    N2->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    connect(N2, &QAction::triggered, this, &QWidget::close);

    QMenu* N3 = named(MainMenu1->addMenu(QStringLiteral("Настройка")), "N3");
    N5 = named(N3->addAction(pictures::settingsImage(), QStringLiteral("Настройка")), "N5");
    N5->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(N5, &QAction::triggered, this, &TForm_main::N5Click);

    QMenu* N6 = named(MainMenu1->addMenu(QStringLiteral("?")), "N6");
    N7 = named(N6->addAction(pictures::aboutImage(), QStringLiteral("О программе")), "N7");
    connect(N7, &QAction::triggered, this, &TForm_main::N7Click);
}

Tpotok* TForm_main::worker() const
{
    return m_worker;
}

bool TForm_main::workerRunning() const
{
    return m_worker && !m_worker->isFinished();
}

void TForm_main::Button_updateClick()
{
    if (!Button_update->isEnabled())
        return;
    // A worker whose finish has not been reported yet has already given the controls back
    // and only has to return; let it, so that at most one worker exists.
    if (m_worker)
        m_worker->wait();
    setUpdateControls(true);
    m_worker = new Tpotok(m_updater, m_sink);
    connect(m_worker, &QThread::finished, this, &TForm_main::onWorkerFinished);
    m_worker->startRun();
}

void TForm_main::Button_cancelClick()
{
    if (m_worker && !m_worker->stopRequested()) {
        m_worker->requestStop();
        // The worker's reports are queued to this thread: keep carrying them out while waiting.
        while (!m_worker->wait(QDeadlineTimer(20)))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    setUpdateControls(false);
}

void TForm_main::onWorkerFinished()
{
    if (sender() == m_worker)
        m_worker = nullptr;
}

void TForm_main::closeEvent(QCloseEvent* event)
{
    if (m_worker && !m_worker->stopRequested())
        m_worker->requestStop();
    QMainWindow::closeEvent(event);
}

void TForm_main::clearLog()
{
    Memo1->clear();
}

void TForm_main::appendLogLine(const QString& line)
{
    Memo1->appendPlainText(line);
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TForm_main::setUpdateControls(bool running)
{
    Button_update->setEnabled(!running);
    N4->setEnabled(!running);
    Button_cancel->setEnabled(running);
    if (!running) {
        Label_files->clear();
        Label_files->hide();
        ProgressBar_file->reset();
        ProgressBar_file->hide();
    }
}

void TForm_main::showProgress(int fileNumber, int fileCount, qint64 received, qint64 total)
{
    Label_files->setText(QStringLiteral("Файл %1 из %2").arg(fileNumber).arg(fileCount));
    Label_files->show();
    if (total > 0) {
        // Per mille: a bar's range is an int, files may be larger.
        ProgressBar_file->setRange(0, 1000);
        ProgressBar_file->setValue(
            static_cast<int>(std::min<qint64>(received, total) * 1000 / total));
    } else if (total == 0) {
        ProgressBar_file->setRange(0, 1000);
        ProgressBar_file->setValue(1000);
    } else {
        ProgressBar_file->setRange(0, 0); // busy: the server announced no size
    }
    ProgressBar_file->show();
}

void TForm_main::showRunError(const QString& message)
{
    showErrorBox(this, message);
}

void TForm_main::N5Click()
{
    TForm_options dialog(this);
    engine::Settings s = m_updater->settings();
    dialog.Edit_update_path->setText(fromEngine(s.updatepath));
    dialog.Edit_kavor_path->setText(displayPath(s.kvopath));
    dialog.Edit_arch_path->setText(displayPath(s.archpath));
    dialog.Edit_unpack->setText(fromEngine(s.unpackline));
    dialog.CB_unpack->setChecked(s.unpack);
    dialog.CB_nasty->setChecked(s.nasty);
    dialog.CB_risk->setChecked(s.risk);
    dialog.CB_proxy->setChecked(s.proxy);
    dialog.UserName->setText(fromEngine(s.proxy_username));
    dialog.Server->setText(fromEngine(s.proxy_server));
    dialog.Port->setText(QString::number(s.proxy_port));
    dialog.Password->setText(fromEngine(s.proxy_pwd));
    dialog.CB_proxyClick();

    if (dialog.exec() != TForm_options::kOk)
        return;

    s.updatepath = toEngine(dialog.Edit_update_path->text());
    s.kvopath = toEngine(dialog.Edit_kavor_path->text());
    s.archpath = toEngine(dialog.Edit_arch_path->text());
    s.unpackline = toEngine(dialog.Edit_unpack->text());
    s.unpack = dialog.CB_unpack->isChecked();
    s.nasty = dialog.CB_nasty->isChecked();
    s.risk = dialog.CB_risk->isChecked();
    s.proxy = dialog.CB_proxy->isChecked();
    s.proxy_username = toEngine(dialog.UserName->text());
    s.proxy_server = toEngine(dialog.Server->text());
    if (dialog.Port->text().isEmpty())
        dialog.Port->setText(QStringLiteral("0"));
    try {
        s.proxy_port = platform::parseIntOrThrow(toEngine(dialog.Port->text()));
    } catch (const platform::EConvertError& error) {
        // What was copied before the port stays; the port, the password and the file do not.
        m_updater->setSettings(s);
        showErrorBox(this, fromEngine(error.what()));
        return;
    }
    s.proxy_pwd = toEngine(dialog.Password->text());
    m_updater->setSettings(s);
    try {
        m_updater->saveSettings();
    } catch (const engine::SettingsWriteError& error) {
        showErrorBox(this, fromEngine(error.what()));
    }
}

void TForm_main::N7Click()
{
    Tabout_form about(this);
    about.exec();
}

} // namespace ui
