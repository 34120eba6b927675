#include "player/practice/CountInTool.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

#include "engine/SoundEngine.h"
#include "formats/NumberText.h"
#include "logging/Console.h"
#include "metronome/Metronom.h"
#include "player/PlayerControls.h"
#include "player/practice/LoopTool.h"

namespace {

// The count-in's first click comes this long after the press: enough for the click to be
// scheduled before the mixer reaches its frame.
constexpr double kCountInLeadSeconds = 0.1;

}  // namespace

CountInTool::CountInTool(PlayerControls& controls, SoundEngine& engine, const LoopTool& loop)
    : QObject(nullptr), controls_(controls), engine_(engine), loop_(loop) {}

CountInTool::~CountInTool() = default;

void CountInTool::addControls(QWidget* group, QBoxLayout* row) {
    countInBox_ = new QComboBox(group);
    countInBox_->setObjectName(QStringLiteral("boxCountIn"));
    countInBox_->addItems({tr("No count-in"), tr("Count in 1 bar"), tr("Count in 2 bars")});
    meterBox_ = new QComboBox(group);
    meterBox_->setObjectName(QStringLiteral("boxBeatsPerBar"));
    meterBox_->setToolTip(tr("Beats per bar"));
    for (int beats = CountIn::kMinimumBeatsPerBar; beats <= CountIn::kMaximumBeatsPerBar; ++beats) {
        meterBox_->addItem(QStringLiteral("%1/4").arg(beats), beats);
    }
    meterBox_->setCurrentIndex(countIn_.beatsPerBar - CountIn::kMinimumBeatsPerBar);
    accentBox_ = new QCheckBox(tr("Accent beat &1"), group);
    accentBox_->setToolTip(tr("The metronome's first beat of each bar sounds higher"));
    everyPassBox_ = new QCheckBox(tr("Every pa&ss"), group);
    everyPassBox_->setToolTip(tr("Count in again before every pass through the loop"));
    const auto countInChosen = [this] {
        set(CountIn{countInBox_->currentIndex(), meterBox_->currentData().toInt(),
                    everyPassBox_->isChecked()});
    };
    connect(countInBox_, &QComboBox::currentIndexChanged, this, countInChosen);
    connect(meterBox_, &QComboBox::currentIndexChanged, this, countInChosen);
    connect(accentBox_, &QCheckBox::toggled, this, countInChosen);
    connect(everyPassBox_, &QCheckBox::toggled, this, countInChosen);
    // Alt+N: the letters of the other controls are taken.
    auto* caption = new QLabel(tr("Cou&nt-in:"), group);
    caption->setBuddy(countInBox_);
    row->addWidget(caption);
    row->addWidget(countInBox_);
    row->addWidget(meterBox_);
    row->addWidget(everyPassBox_);
    row->addWidget(accentBox_);
}

void CountInTool::set(const CountIn& countIn) {
    countIn_.bars = std::clamp(countIn.bars, 0, 2);
    countIn_.beatsPerBar =
        std::clamp(countIn.beatsPerBar, CountIn::kMinimumBeatsPerBar, CountIn::kMaximumBeatsPerBar);
    countIn_.everyPass = countIn.everyPass;
    const QSignalBlocker quietCountIn(countInBox_);
    const QSignalBlocker quietMeter(meterBox_);
    const QSignalBlocker quietEveryPass(everyPassBox_);
    everyPassBox_->setChecked(countIn_.everyPass);
    countInBox_->setCurrentIndex(countIn_.bars);
    meterBox_->setCurrentIndex(countIn_.beatsPerBar - CountIn::kMinimumBeatsPerBar);
    if (Metronom* metronom = controls_.metronom()) {
        metronom->setBar(countIn_.beatsPerBar, accentBox_->isChecked());
    }
    applyPassCountIn();
}

bool CountInTool::startMusic() {
    // The BPM field or the click's volume may have changed since the loop was set.
    applyPassCountIn();
    if (countIn_.bars <= 0) {
        return false;
    }
    Metronom* metronom = controls_.metronom();
    const std::optional<double> interval = beatInterval();
    const std::optional<SoundEngine::Clock> clock = engine_.clock();
    if (!interval || !clock || metronom == nullptr || metronom->soundClick() == 0) {
        console("count-in: no beat rate or no click, the music starts at once");
        return false;
    }
    const int beats = countIn_.bars * countIn_.beatsPerBar;
    const double rate = clock->rate;
    const std::uint64_t first =
        clock->frame + static_cast<std::uint64_t>(std::llround(kCountInLeadSeconds * rate));
    // A metronome that ticks already is the count-in: the music comes in on its beat, after
    // the bars counted from its next one.
    if (const std::optional<std::int64_t> next = metronom->beatAtOrAfter(first)) {
        const std::uint64_t onBeat = *metronom->beatFrame(*next + beats);
        if (!engine_.playAt(onBeat)) {
            return false;
        }
        console(
            "count-in: %i beats of the running metronome, the music starts on device "
            "frame %llu",
            beats, static_cast<unsigned long long>(onBeat));
        return true;
    }
    const std::uint64_t musicAt =
        first + static_cast<std::uint64_t>(std::llround(beats * *interval * rate));
    metronom->setBar(countIn_.beatsPerBar, accentBox_->isChecked());
    if (controls_.startWithMusic()) {
        // The metronome that starts with the music is the count-in: one beat, no seam.
        metronom->setNumberBPM(QVariant(numbertext::integerValue(controls_.bpmFieldText())));
        metronom->startAt(first);
    } else {
        countInPending_ =
            engine_.playBeats(metronom->soundClick(), first, *interval,
                              static_cast<std::uint32_t>(beats), countIn_.beatsPerBar, true);
    }
    if (!engine_.playAt(musicAt)) {
        return false;
    }
    console("count-in: %i beats, the music starts on device frame %llu", beats,
            static_cast<unsigned long long>(musicAt));
    return true;
}

void CountInTool::musicPaused() {
    if (countInPending_) {
        if (Metronom* metronom = controls_.metronom()) {
            engine_.stopBeats(metronom->soundClick());
        }
        countInPending_ = false;
    }
}

void CountInTool::musicOpened() {
    countInPending_ = false;
}

void CountInTool::applyPassCountIn() {
    if (!engine_.musicAvailable()) {
        return;
    }
    Metronom* metronom = controls_.metronom();
    const std::optional<double> interval = beatInterval();
    const LoopRange loop = loop_.loop();
    const bool wanted = countIn_.everyPass && countIn_.bars > 0 && loop.on && loop.isSet() &&
                        interval && metronom != nullptr && metronom->soundClick() != 0;
    if (!wanted) {
        engine_.setLoopCountIn(0, 0, 1.0, 1, false);
        return;
    }
    engine_.setLoopCountIn(metronom->soundClick(), countIn_.bars * countIn_.beatsPerBar, *interval,
                           countIn_.beatsPerBar, true);
}

std::optional<double> CountInTool::beatInterval() const {
    return Metronom::tickInterval(QVariant(numbertext::integerValue(controls_.bpmFieldText())));
}
