// The player window controller: it loads the main window (resources/MainWindow.ui), is the
// target of all its controls and menu items, and drives the sound engine from them.
//
// Threads: everything here runs on the main (GUI) thread: the actions from control and menu
// events, the position timer from the main event loop, and openings handed over by a second
// start from the local-socket server, which also delivers on the main thread.
#ifndef TONVERA_PLAYER_TONVERAAPPDELEGATE_H
#define TONVERA_PLAYER_TONVERAAPPDELEGATE_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class FileManagerReveal;
class Metronom;
class MetronomControls;
class PlayerPracticeControls;
class PracticeSettingsCommands;
struct PracticeSettingsDialogs;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPushButton;
class QWidget;
class SoundEngine;
class SpectrumView;
class ValueSlider;
namespace Ui {
class MainWindow;
}

class TonveraAppDelegate : public QObject {
    Q_OBJECT

  public:
    // Returns the chosen path, or an empty string when the user cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QStringList& fileTypes)>;
    // Shows a file in the desktop's file manager.
    using FileShower = std::function<void(const QString& path)>;

    // `engine` is the shared engine in the program; tests hand in their own. The window is
    // created here but shown only by showMainApplicationWindow().
    explicit TonveraAppDelegate(SoundEngine* engine = nullptr, QObject* parent = nullptr);
    ~TonveraAppDelegate() override;

    // The file types the open panel offers, in this order.
    static const QStringList& openFileTypes();

    // ---- start-up, window and menus
    void applicationDidFinishLaunching();
    // Takes the keyboard focus from every control and brings the window to the front.
    void showMainApplicationWindow();
    // Closing the main window ends the program; always true.
    bool windowShouldClose(QWidget* window);
    // The desktop's (or a second start's) request to open a file: true even when it fails.
    bool applicationOpenFile(const QString& path);
    void menuOpenLogFile();
    void menuAbout();
    // Opens a new settings window each time; the controller keeps no reference to it.
    void menuClickedSettings();
    // The folder that holds the resource files; see ui/ResourcePaths.h.
    static QString getApplicationPath();

    // ---- transport and sound controls
    void clickedPlayButton();
    void sliderTempoMoved();
    void sliderPitchMoved();
    void sliderRateMoved();
    void sliderVolumeMoved();
    void textTempoChanged();
    void textPitchChanged();
    void textRateChanged();
    static QString formatNumber(float value);

    // ---- opening files, position and time
    void menuOpenFile();
    // The one entry for opening music. A failure changes nothing in the window (the engine
    // logs it).
    void open(const QString& path);
    void updatePositionSlider();
    void sliderPositionMoved();

    // ---- practice settings files
    void menuSaveSettingsFile();
    void menuOpenSettingsFile();

    // ---- outlets
    QMainWindow* window() const;
    QPushButton* playButton() const;
    SpectrumView* spectrumView() const;
    QCheckBox* buttonMetronomStartWithMusic() const;
    QPushButton* buttonMetronomPlay() const;
    ValueSlider* sliderTempo() const;
    ValueSlider* sliderRate() const;
    ValueSlider* sliderPitch() const;
    ValueSlider* sliderVolume() const;
    ValueSlider* sliderPosition() const;
    ValueSlider* sliderMetronomVolume() const;
    QLineEdit* labelTempo() const;
    QLineEdit* labelRate() const;
    QLineEdit* labelPitch() const;
    QLabel* labelFilename() const;
    QLabel* labelTime() const;
    QLineEdit* labelMetronomBPM() const;
    QMenu* menuFile() const;
    QMenu* menuTonvera() const;
    QAction* menuItemSparkle() const;
    QAction* menuItemExportAsWAV() const;
    QAction* menuItemOpenLogFile() const;
    QAction* menuItemPlayPause() const;
    // The position timer: inactive until the first successful open, then one for the run.
    const QTimer& updateTimer() const { return updateTimer_; }
    SoundEngine& soundEngine() const { return *soundEngine_; }
    // The metronome and what its controls do; both made at launch, null before.
    Metronom* metronom() const { return metronom_.get(); }
    MetronomControls* metronomControls() const { return metronomControls_.get(); }
    // Held by the position tick and by the opening and applying of a settings file.
    std::recursive_mutex& controllerLock() { return controllerLock_; }

    // ---- replaceable platform services (tests use them to stay without dialogs)
    void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
    void setFileShower(FileShower shower) { fileShower_ = std::move(shower); }
    void setTerminator(std::function<void()> terminate) { terminate_ = std::move(terminate); }
    // The panels and alerts of the practice settings commands.
    void setPracticeSettingsDialogs(PracticeSettingsDialogs dialogs);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void connectControls();
    // The BPM field's validator: whole numbers in the range a musician practises with.
    void setUpMetronomField();
    // Launch: the metronome, its click loaded through the engine, and its controls.
    void createMetronom();
    void setPlayButtonImage(bool playing);
    void clearKeyboardFocus();
    // Reads a typed value field; on text that is no number it rewrites the field from its slider
    // and returns nothing, so the engine stays as it was.
    std::optional<float> takeTypedValue(QLineEdit* field, ValueSlider* slider);

    std::unique_ptr<QMainWindow> window_;
    std::unique_ptr<Ui::MainWindow> ui_;
    SoundEngine* soundEngine_ = nullptr;
    QTimer updateTimer_;
    // Held by the position tick and by the applying of a settings file. Recursive because the
    // settings loader opens music (which restarts the tick) while holding it.
    std::recursive_mutex controllerLock_;
    FileChooser fileChooser_;
    FileShower fileShower_;
    std::function<void()> terminate_;
    FileManagerReveal* fileManager_ = nullptr;  // owned by this object (QObject child)
    // Declared after the window and its ui, so they go first and never outlive the widgets.
    std::unique_ptr<Metronom> metronom_;
    std::unique_ptr<MetronomControls> metronomControls_;
    std::unique_ptr<PlayerPracticeControls> practiceControls_;
    std::unique_ptr<PracticeSettingsCommands> practiceCommands_;
};

#endif
