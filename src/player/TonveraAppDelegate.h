// The player window controller: it loads the main window (resources/MainWindow.ui), is the
// target of all its controls and menu items, and drives the sound engine from them. Its parts
// (practice and hearing tools, the overview strip, the settings-file commands) get the window as
// PlayerControls together with the engine and never this class; what they change in the engine
// they report through their signals, and the window shows it.
//
// Threads: everything here runs on the main (GUI) thread: the actions from control and menu
// events, the position timer from the main event loop, and openings handed over by a second
// start from the local-socket server, which also delivers on the main thread.
#ifndef TONVERA_PLAYER_TONVERAAPPDELEGATE_H
#define TONVERA_PLAYER_TONVERAAPPDELEGATE_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "crashreport/KTVarneskManager.h"
#include "formats/PracticeSetup.h"
#include "player/settingsfile/PracticeControls.h"

class ExportWindow;
class FileManagerReveal;
class HearingTools;
class Metronom;
class MetronomControls;
class OverviewController;
class PlayerWindowControls;
class PracticeTools;
class PracticeSettingsCommands;
struct PracticeSettingsDialogs;
class QAction;
class QLineEdit;
class QMainWindow;
class RecentFilesMenu;
class SoundEngine;
class ValueSlider;
namespace Ui {
class MainWindow;
}

class TonveraAppDelegate : public QObject, public KTVarneskManagerDelegate {
    Q_OBJECT

  public:
    // Returns the chosen path, or an empty string when the user cancelled. `filters` are name
    // filters as QFileDialog takes them ("Music files (*.wav *.mp3)"), the first one chosen.
    using FileChooser = std::function<QString(QWidget* parent, const QStringList& filters)>;
    // Shows a file in the desktop's file manager.
    using FileShower = std::function<void(const QString& path)>;
    // Tells the user something in one sentence, window-modal on `parent`, without blocking.
    using MessageShower = std::function<void(QWidget* parent, const QString& text)>;
    // What the export's save panel returns: the chosen path (empty when the user cancelled) and
    // the name filter chosen with it (empty: the first).
    struct SaveChoice {
        // Implicit, so that a chooser may answer with the path alone.
        SaveChoice(QString chosenPath = {}, QString chosenFilter = {})
            : path(std::move(chosenPath)), filter(std::move(chosenFilter)) {}
        QString path;
        QString filter;
    };
    // The save panel.
    using SaveChooser =
        std::function<SaveChoice(QWidget* parent, const QString& title, const QString& proposedPath,
                                 const QStringList& filters)>;

    // `engine` is the shared engine in the program; tests hand in their own. The window is
    // created here but shown only by showMainApplicationWindow().
    explicit TonveraAppDelegate(SoundEngine* engine = nullptr, QObject* parent = nullptr);
    ~TonveraAppDelegate() override;

    // The file types the open panel offers first, in this order.
    static const QStringList& openFileTypes();
    // Every file type the decoder reads, for the panel's "All audio files" choice.
    static const QStringList& allAudioFileTypes();
    // The open panel's choices: the types above, all audio files, all files.
    static QStringList openFileFilters();
    // The export's save panel types that export at the level heard with the volume at full
    // (doubled, the limiter holding full scale) rather than at the recording's own.
    static QStringList exportHeardFilters();

    // ---- start-up, window and menus
    void applicationDidFinishLaunching();
    // Takes the keyboard focus from every control and brings the window to the front. The crash
    // reporter calls it once it has no report to offer, or the user has dealt with one.
    void showMainApplicationWindow() override;
    // The desktop's (or a second start's) request to open a file: true even when it fails.
    bool applicationOpenFile(const QString& path);
    // The open settings window, or null.
    QWidget* settingsWindow() const { return settingsWindow_; }
    // The folder that holds the resource files; see ui/ResourcePaths.h.
    static QString getApplicationPath();

    // ---- the music
    // A value as its field shows it; see display::formatNumber.
    static QString formatNumber(float value);
    // The play button's action.
    void clickedPlayButton();
    // The one entry for opening music. On a failure (the engine has freed the old music and
    // logged why) the window shows that no music is open and tells the user why in a sentence.
    void open(const QString& path);
    // Tempo, pitch and rate of a practice set-up whose music could not be opened: the next
    // music that opens plays with them (the rate held within that file's range) instead of its
    // own. Moving those controls while no music is open changes what is kept.
    void keepForNextMusic(float tempo, float pitch, float samplerate);
    // The position tick: the position slider, the time, the practice tools, the overview and
    // the spectrum brought up to what is heard.
    void updatePositionSlider();
    // The export window while an export runs (or a cancelled panel left it), else null.
    ExportWindow* exportController() const;

    // ---- the window and its parts
    // The controls are the window's children, found by their names in resources/MainWindow.ui.
    QMainWindow* window() const;
    // The position timer: inactive until the first successful open, then one for the run.
    const QTimer& updateTimer() const { return updateTimer_; }
    // The metronome and what its controls do; both made at launch, null before.
    Metronom* metronom() const { return metronom_.get(); }
    MetronomControls* metronomControls() const { return metronomControls_.get(); }
    // The loop, trainer, count-in, markers and practice keys; made with the window.
    PracticeTools* practiceTools() const { return practiceTools_.get(); }
    // The song overview strip above the position slider; made with the window.
    OverviewController* overview() const { return overview_.get(); }
    // Tuning, focus, centre cancel and channels; made with the window.
    HearingTools* hearingTools() const { return hearingTools_.get(); }
    // A message to the user, window-modal; held until the window is on screen.
    void tellUser(const QString& text);
    // Held by the position tick and by the opening and applying of a settings file.
    std::recursive_mutex& controllerLock() { return controllerLock_; }

    // ---- replaceable platform services (tests use them to stay without dialogs)
    void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
    void setFileShower(FileShower shower) { fileShower_ = std::move(shower); }
    void setMessageShower(MessageShower shower) { messageShower_ = std::move(shower); }
    void setSaveChooser(SaveChooser chooser) { saveChooser_ = std::move(chooser); }
    void setTerminator(std::function<void()> terminate) { terminate_ = std::move(terminate); }
    // The panels and alerts of the practice settings commands.
    void setPracticeSettingsDialogs(PracticeSettingsDialogs dialogs);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using Sound = PracticeControls::Slider;

    // ---- the controls' and menus' actions
    // On aboutToQuit, while the event loop still runs: the metronome and the position timer stop,
    // then the engine frees the music, the click and its device in that order. Left to static
    // destructors, the click would be freed while SDL's thread still mixed it.
    void applicationWillTerminate();
    // Closing the main window ends the program; always true.
    bool windowShouldClose(QWidget* window);
    void menuOpenLogFile();
    void menuAbout();
    // Opens the settings window, or raises it when it is open already.
    void menuClickedSettings();
    void sliderTempoMoved();
    void sliderPitchMoved();
    void sliderRateMoved();
    void sliderVolumeMoved();
    void textTempoChanged();
    void textPitchChanged();
    void textRateChanged();
    void menuOpenFile();
    void sliderPositionMoved();
    // The export command (File › Export…): asks for the output file, pauses playing music and
    // runs the export under a sheet on the main window. Disabled while an export runs.
    void menuExportAsWAV();
    // File › Export Loop…: the same for the A-B loop alone; enabled while a loop is set.
    void menuExportLoop();
    // The sheet's end: hides and drops the export window, tells the user when it failed (a
    // cancel is the user's own doing and is not reported back).
    void didEndSheet(bool succeeded, bool cancelled, const QString& failure);
    // The save panel's file types, in this order, as name filters: each type at the music's own
    // level, then each as heard at full volume (exportHeardFilters()), then all files.
    static QStringList exportFileFilters();
    void menuSaveSettingsFile();
    void menuOpenSettingsFile();

    // ---- what the window's parts changed in the engine, shown (connected to their signals)
    void connectParts();
    // A tempo, pitch or rate a practice tool set in the engine as the user's choice.
    void showChosenSound(Sound sound, float value);
    // The trainer's tempo as heard: the tempo controls follow it; a value being typed stays.
    void followHeardTempo(float percent);
    // The loop on the position slider and the overview, and Export Loop… on while one is set.
    void showLoop(const LoopRange& loop);
    // A tempo, pitch or rate now in the engine: its value field shows it, and a set-up waiting
    // for music keeps it.
    void showSoundSet(Sound sound, float value);

    // A practice set-up waiting for music (see keepForNextMusic).
    struct KeptSound {
        float tempo = 0.0F;
        float pitch = 0.0F;
        float samplerate = 0.0F;
    };

    void connectControls();
    // File › Export Loop…, right after the whole export.
    void addExportLoopItem();
    // Export Loop… is on while a loop is set and no export runs.
    void showExportLoopItem();
    // The export of the whole music (rangeEnd <= rangeStart) or of a span of it.
    void startExport(const QString& title, const QString& proposedName, double rangeStart,
                     double rangeEnd);
    // The BPM field's validator: whole numbers in the range a musician practises with.
    void setUpMetronomField();
    // Launch: the metronome, its click loaded through the engine, and its controls.
    void createMetronom();
    void setPlayButtonImage(bool playing);
    // What the window shows with no music: as at start, and no position tick.
    void showNoMusic();
    // Messages that come before the window is on screen wait for it.
    void showWaitingMessages();
    // The kept set-up, if any, applied to music that has just opened.
    void applyKeptSound();
    // A sound control moved while a set-up is kept and no music is open: what is kept follows.
    void keepWhileNoMusic(float KeptSound::*member, float value);
    void clearKeyboardFocus();
    // Applies a typed value field: held within its slider's range, to the engine (through
    // `setter`) and the slider. Text that is no number leaves the engine alone, beeps and shows
    // `playing` again.
    void applyTypedValue(QLineEdit* field, ValueSlider* slider, float playing,
                         void (SoundEngine::*setter)(float), float KeptSound::*kept,
                         const char* consoleFormat);
    // What the engine plays for one of its values; without music, what the slider holds.
    float playingValue(float (SoundEngine::*getter)() const, const ValueSlider* slider) const;

    std::unique_ptr<QMainWindow> window_;
    std::unique_ptr<Ui::MainWindow> ui_;
    SoundEngine* soundEngine_ = nullptr;
    QTimer updateTimer_;
    // Held by the position tick and by the applying of a settings file. Recursive because the
    // settings loader opens music (which restarts the tick) while holding it.
    std::recursive_mutex controllerLock_;
    FileChooser fileChooser_;
    FileShower fileShower_;
    MessageShower messageShower_;
    SaveChooser saveChooser_;
    // A child of the main window (Qt owns it); deleted once its sheet has ended.
    QPointer<ExportWindow> m_pExportController;
    bool exportRunning_ = false;
    QAction* menuItemExportLoop_ = nullptr;  // a child of the window (Qt owns it)
    QStringList waitingMessages_;
    std::optional<KeptSound> keptSound_;
    // The no-music texts as the interface resource gives them.
    QString noMusicTitle_;
    QString noMusicFileText_;
    QString noMusicTimeText_;
    // The one settings window, while it is open.
    QPointer<QWidget> settingsWindow_;
    std::function<void()> terminate_;
    FileManagerReveal* fileManager_ = nullptr;  // owned by this object (QObject child)
    // Declared after the window and its ui, so they go first and never outlive the widgets.
    // The window as its parts see it: declared before them, so it outlives them.
    std::unique_ptr<PlayerWindowControls> windowControls_;
    std::unique_ptr<Metronom> metronom_;
    std::unique_ptr<MetronomControls> metronomControls_;
    std::unique_ptr<PracticeTools> practiceTools_;
    std::unique_ptr<OverviewController> overview_;
    std::unique_ptr<HearingTools> hearingTools_;
    std::unique_ptr<PracticeSettingsCommands> practiceCommands_;
    // File › Open Recent; the file menu owns its submenu.
    std::unique_ptr<RecentFilesMenu> recentFiles_;
};

#endif
