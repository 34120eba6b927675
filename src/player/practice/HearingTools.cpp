#include "player/practice/HearingTools.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <cmath>

#include "engine/SoundEngine.h"
#include "engine/TuningDetector.h"
#include "logging/Console.h"
#include "player/PlayerControls.h"
#include "player/practice/FocusBandDialog.h"

namespace {

using formats::ChannelChoice;
using formats::FocusBand;
using formats::FocusSpec;
using formats::HearingSettings;

constexpr int kDetectorPollMs = 100;
// Below this the peaks agree too little for the figure to mean much; it is still shown.
constexpr double kConfidentTuning = 0.3;

QString centsText(double cents) {
    return QStringLiteral("%1%2")
        .arg(cents > 0.0 ? QStringLiteral("+") : QString())
        .arg(cents, 0, 'f', 0);
}

QString customText(const FocusSpec& band) {
    return QObject::tr("Custom: %1 Hz, %2 oct, %3 dB...")
        .arg(band.centreHz, 0, 'f', 0)
        .arg(band.widthOctaves, 0, 'f', 1)
        .arg(centsText(band.gainDb));
}

}  // namespace

HearingTools::HearingTools(PlayerControls& controls, SoundEngine& engine)
    : QObject(nullptr), controls_(controls), engine_(engine) {
    question_ = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, tr("Detect Tuning"), text) == QMessageBox::Yes;
    };
    chooser_ = [](QWidget* parent, const FocusSpec& band) -> std::optional<FocusSpec> {
        FocusBandDialog dialog(band, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.band();
    };
    customBand_.band = FocusBand::Custom;
    detectorPoll_.setInterval(kDetectorPollMs);
    connect(&detectorPoll_, &QTimer::timeout, this, &HearingTools::pollDetector);
    buildRow();
    showHearing();
}

HearingTools::~HearingTools() = default;

void HearingTools::buildRow() {
    QMainWindow* window = controls_.window();
    group_ = new QGroupBox(tr("Hearing"), window->centralWidget());
    group_->setObjectName(QStringLiteral("groupHearing"));
    auto* rows = new QVBoxLayout(group_);
    auto* tuningRow = new QHBoxLayout;
    auto* partRow = new QHBoxLayout;
    rows->addLayout(tuningRow);
    rows->addLayout(partRow);

    tuningBox_ = new QSpinBox(group_);
    tuningBox_->setObjectName(QStringLiteral("boxTuning"));
    tuningBox_->setRange(-static_cast<int>(SoundEngine::kMaxTuning),
                         static_cast<int>(SoundEngine::kMaxTuning));
    tuningBox_->setSuffix(tr(" cents"));
    tuningBox_->setToolTip(tr("Tune the recording up or down by up to half a semitone"));
    connect(tuningBox_, &QSpinBox::valueChanged, this, &HearingTools::tuningChosen);
    auto* tuningCaption = new QLabel(tr("T&uning:"), group_);
    tuningCaption->setBuddy(tuningBox_);
    detectButton_ = new QPushButton(tr("&Detect"), group_);
    detectButton_->setObjectName(QStringLiteral("buttonDetectTuning"));
    detectButton_->setToolTip(tr("Measure how far the recording is from A = 440"));
    connect(detectButton_, &QPushButton::clicked, this, &HearingTools::detectTuning);
    tuningLabel_ = new QLabel(group_);
    tuningLabel_->setObjectName(QStringLiteral("labelTuning"));

    focusBox_ = new QComboBox(group_);
    focusBox_->setObjectName(QStringLiteral("boxFocus"));
    // In the order of FocusBand's numbers.
    focusBox_->addItem(tr("Off"));
    focusBox_->addItem(tr("Bass"));
    focusBox_->addItem(tr("Low mids"));
    focusBox_->addItem(tr("Highs"));
    focusBox_->addItem(customText(customBand_));
    focusBox_->setToolTip(tr("Bring one range forward and turn the rest down"));
    // activated, not currentIndexChanged: picking Custom again opens its dialog again.
    connect(focusBox_, &QComboBox::activated, this, &HearingTools::focusPicked);
    auto* focusCaption = new QLabel(tr("F&ocus:"), group_);
    focusCaption->setBuddy(focusBox_);

    centreCancelBox_ = new QCheckBox(tr("Reduce lead vo&ice (centre cancel)"), group_);
    centreCancelBox_->setObjectName(QStringLiteral("boxCentreCancel"));
    centreCancelBox_->setToolTip(
        tr("Turn down what sounds in the middle of both channels (mostly the lead voice), "
           "keeping the bass and the sides"));
    connect(centreCancelBox_, &QCheckBox::toggled, this, [this](bool on) {
        HearingSettings hearing = engine_.hearing();
        hearing.centreCancel = on;
        setHearing(hearing);
    });

    channelsBox_ = new QComboBox(group_);
    channelsBox_->setObjectName(QStringLiteral("boxChannels"));
    // In the order of ChannelChoice's numbers.
    channelsBox_->addItems(
        {tr("Stereo"), tr("Left only"), tr("Right only"), tr("Mono"), tr("Swapped")});
    channelsBox_->setToolTip(tr("The channels heard"));
    connect(channelsBox_, &QComboBox::activated, this, [this](int index) {
        HearingSettings hearing = engine_.hearing();
        hearing.channels = static_cast<ChannelChoice>(index);
        setHearing(hearing);
    });

    tuningRow->addWidget(tuningCaption);
    tuningRow->addWidget(tuningBox_);
    tuningRow->addWidget(detectButton_);
    tuningRow->addWidget(tuningLabel_, 1);
    auto* channelsCaption = new QLabel(tr("Channels:"), group_);
    channelsCaption->setBuddy(channelsBox_);
    tuningRow->addWidget(channelsCaption);
    tuningRow->addWidget(channelsBox_);
    partRow->addWidget(focusCaption);
    partRow->addWidget(focusBox_);
    partRow->addWidget(centreCancelBox_);
    partRow->addStretch(1);

    if (auto* main = qobject_cast<QBoxLayout*>(window->centralWidget()->layout())) {
        main->addWidget(group_);
        // The window grows by the row, so the sound controls above keep the room they had.
        window->resize(window->width(),
                       window->height() + group_->sizeHint().height() + main->spacing());
    }
    if (auto* practice = window->findChild<QMenu*>(QStringLiteral("menuPractice"))) {
        practice->addSeparator();
        connect(practice->addAction(tr("Detect T&uning")), &QAction::triggered, this,
                &HearingTools::detectTuning);
    }
}

void HearingTools::musicOpened() {
    detector_.reset();
    detectorPoll_.stop();
    detectButton_->setEnabled(true);
    tuningLabel_->clear();
    showHearing();
}

float HearingTools::tuning() const {
    return engine_.tuning();
}

HearingSettings HearingTools::hearing() const {
    return engine_.hearing();
}

void HearingTools::apply(float tuningCents, const HearingSettings& hearing) {
    if (!engine_.setTuning(tuningCents))
        console("hearing: a tuning of %f cents is refused", static_cast<double>(tuningCents));
    if (!engine_.setHearing(hearing))
        console("hearing: the stored focus band does not fit this music");
    if (hearing.focus.band == FocusBand::Custom)
        customBand_ = hearing.focus;
    showHearing();
}

void HearingTools::tuningChosen(int cents) {
    engine_.setTuning(static_cast<float>(cents));
}

void HearingTools::focusPicked(int index) {
    HearingSettings hearing = engine_.hearing();
    const auto band = static_cast<FocusBand>(index);
    if (band == FocusBand::Custom) {
        const std::optional<FocusSpec> chosen = chooser_(controls_.window(), customBand_);
        if (!chosen) {
            showHearing();  // back to the band heard before
            return;
        }
        customBand_ = *chosen;
        customBand_.band = FocusBand::Custom;
        hearing.focus = customBand_;
    } else {
        // The custom values stay with the spec, so a file saved later keeps them.
        hearing.focus.band = band;
    }
    setHearing(hearing);
}

void HearingTools::setHearing(const HearingSettings& hearing) {
    if (!engine_.setHearing(hearing)) {
        controls_.tellUser(
            tr("This focus band cannot be used with this music: its centre (%1 Hz) lies above "
               "the highest frequency the recording can hold.")
                .arg(hearing.focus.centreHz, 0, 'f', 0));
    }
    showHearing();
}

void HearingTools::showHearing() {
    const HearingSettings hearing = engine_.hearing();
    const QSignalBlocker blockTuning(tuningBox_);
    const QSignalBlocker blockCancel(centreCancelBox_);
    tuningBox_->setValue(static_cast<int>(std::lround(engine_.tuning())));
    if (hearing.focus.band == FocusBand::Custom)
        customBand_ = hearing.focus;
    focusBox_->setItemText(static_cast<int>(FocusBand::Custom), customText(customBand_));
    focusBox_->setCurrentIndex(static_cast<int>(hearing.focus.band));
    centreCancelBox_->setChecked(hearing.centreCancel);
    channelsBox_->setCurrentIndex(static_cast<int>(hearing.channels));
}

void HearingTools::detectTuning() {
    if (detector_)
        return;
    if (!engine_.musicAvailable()) {
        tuningLabel_->setText(tr("Open music first"));
        QApplication::beep();
        return;
    }
    detector_ = std::make_unique<TuningDetector>(engine_.musicFile());
    detectButton_->setEnabled(false);
    tuningLabel_->setText(tr("Listening..."));
    detectorPoll_.start();
}

void HearingTools::pollDetector() {
    if (!detector_ || !detector_->finished())
        return;
    detectorPoll_.stop();
    const std::optional<audiolib::Tuning> found = detector_->result();
    const QString failure = QString::fromStdString(detector_->failure());
    detector_.reset();
    detectButton_->setEnabled(true);
    if (!engine_.musicAvailable()) {  // the music was closed while it was listened to
        tuningLabel_->clear();
        return;
    }
    if (!found) {
        tuningLabel_->setText(tr("Tuning unknown"));
        controls_.tellUser(tr("The tuning cannot be measured: %1.").arg(failure));
        return;
    }
    const double cents = found->cents;
    console("tuning: %+.1f cents from A = 440 (confidence %.2f)", cents, found->confidence);
    const int offset = static_cast<int>(std::lround(-cents));
    const QString where = std::lround(cents) == 0
                              ? tr("The recording is tuned to A = 440.")
                              : tr("The recording is %1 cents %2 of A = 440.")
                                    .arg(std::lround(std::fabs(cents)))
                                    .arg(cents > 0.0 ? tr("sharp") : tr("flat"));
    tuningLabel_->setText(tr("Detected: %1 cents").arg(centsText(cents)));
    if (offset == tuningBox_->value())
        return;
    QString text = where;
    if (found->confidence < kConfidentTuning)
        text += QLatin1Char(' ') + tr("(The music gave few clear notes; the figure is rough.)");
    text += QLatin1Char(' ') +
            tr("Set the tuning to %1 cents to bring it to 440?").arg(centsText(offset));
    if (question_(controls_.window(), text))
        tuningBox_->setValue(offset);
}
