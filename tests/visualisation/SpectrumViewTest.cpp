// The view's data handling: what each spectrum type fetches, what is kept between ticks, and the
// position tick's locking pattern run against the view.
#include <gtest/gtest.h>

#include <QPainter>
#include <memory>
#include <mutex>

#include "VisualTestSupport.h"
#include "engine/SoundEngine.h"
#include "support/TempHome.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SpectrumView.h"

using visualtest::allBlack;
using visualtest::blankImage;
using visualtest::columnHeight;
using visualtest::ScriptedSource;

namespace {

class SpectrumViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto source = std::make_unique<ScriptedSource>();
        source_ = source.get();
        view_.setDataSource(std::move(source));
        view_.setSettings(&settings_);
        view_.resize(500, 130);
    }

    QImage rendered() {
        QImage image = blankImage(view_.width(), view_.height());
        QPainter painter(&image);
        view_.renderTo(painter, view_.size());
        return image;
    }

    testsupport::TempDir dir_;
    GlobalSettings settings_{QString::fromStdString(dir_.file("settings.ini"))};
    SpectrumView view_;
    ScriptedSource* source_ = nullptr;
};

}  // namespace

TEST_F(SpectrumViewTest, NewViewHoldsNothingAndIsBlackForEveryType) {
    EXPECT_TRUE(std::holds_alternative<std::monostate>(view_.specData()));
    for (std::int32_t type : {0, 1, 2}) {
        settings_.setSpectrumType(type);
        EXPECT_TRUE(allBlack(rendered())) << "type " << type;
    }
    EXPECT_TRUE(source_->requests.empty());
}

TEST_F(SpectrumViewTest, SpectrumTypeFetchesFiftyBinsScaledTo127) {
    settings_.setSpectrumType(SpectrumTypeFFT);
    source_->spectrum = std::vector<int>(50, 90);
    view_.updateData();

    ASSERT_EQ(source_->requests.size(), 1U);
    EXPECT_EQ(source_->requests[0].kind, 's');
    EXPECT_EQ(source_->requests[0].size, 100);
    EXPECT_EQ(source_->requests[0].height, 127);
    const SpectrumData data = view_.specData();
    const auto* held = std::get_if<std::vector<int>>(&data);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(*held, std::vector<int>(50, 90));
    EXPECT_EQ(columnHeight(rendered(), 11), 90);
}

TEST_F(SpectrumViewTest, WaveformTypeFetchesOneTracePerChannel) {
    settings_.setSpectrumType(SpectrumTypeWaveForm);
    source_->wave = {std::vector<int>(120, 50), std::vector<int>(110, 40)};
    view_.updateData();

    ASSERT_EQ(source_->requests.size(), 1U);
    EXPECT_EQ(source_->requests[0].kind, 'w');
    EXPECT_EQ(source_->requests[0].size, 100);
    EXPECT_EQ(source_->requests[0].height, 127);
    const SpectrumData data = view_.specData();
    const auto* held = std::get_if<std::vector<std::vector<int>>>(&data);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->size(), 2U);
    EXPECT_EQ(columnHeight(rendered(), 1), 50);
}

TEST_F(SpectrumViewTest, NothingPlayingReplacesHeldBarsWithNoData) {
    settings_.setSpectrumType(SpectrumTypeFFT);
    source_->spectrum = std::vector<int>(50, 90);
    view_.updateData();
    source_->spectrum.reset();
    view_.updateData();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(view_.specData()));
    EXPECT_TRUE(allBlack(rendered()));
}

TEST_F(SpectrumViewTest, TypeNoneDiscardsHeldDataAndFetchesNothing) {
    settings_.setSpectrumType(SpectrumTypeFFT);
    source_->spectrum = std::vector<int>(50, 90);
    view_.updateData();
    ASSERT_EQ(source_->requests.size(), 1U);

    settings_.setSpectrumType(SpectrumTypeNone);
    view_.updateData();
    EXPECT_EQ(source_->requests.size(), 1U) << "type none must not fetch";
    EXPECT_TRUE(std::holds_alternative<std::monostate>(view_.specData()));

    settings_.setSpectrumType(7);
    view_.updateData();
    EXPECT_EQ(source_->requests.size(), 1U) << "an unknown type must not fetch";
    EXPECT_TRUE(allBlack(rendered()));
}

TEST_F(SpectrumViewTest, SwitchingTypeWhilePausedDrawsBackgroundUntilNextUpdate) {
    settings_.setSpectrumType(SpectrumTypeFFT);
    source_->spectrum = std::vector<int>(50, 70);
    source_->wave = {std::vector<int>(100, 30)};
    view_.updateData();

    settings_.setSpectrumType(SpectrumTypeWaveForm);  // bars held, waveform expected
    EXPECT_TRUE(allBlack(rendered()));
    view_.updateData();
    EXPECT_EQ(columnHeight(rendered(), 1), 30);

    settings_.setSpectrumType(SpectrumTypeFFT);  // traces held, bars expected
    EXPECT_TRUE(allBlack(rendered()));
}

TEST_F(SpectrumViewTest, PositionTickPatternRunsUnderTheDataLock) {
    // The controller's tick takes the data lock and then updates and redraws, which take it (and
    // the view's own lock) again on the same thread.
    settings_.setSpectrumType(SpectrumTypeFFT);
    source_->spectrum = std::vector<int>(50, 40);
    view_.show();
    for (int tick = 0; tick < 3; ++tick) {
        std::lock_guard<std::recursive_mutex> lock(view_.dataLock());
        view_.updateData();
        view_.repaint();
    }
    EXPECT_EQ(source_->requests.size(), 3U);
    const QImage shown = view_.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(columnHeight(shown, 1), 40);
    EXPECT_EQ(columnHeight(shown, 6), 0);
}

// Against a real engine with no device and no music: nothing plays, so there is no spectrum and
// no channel to trace; the view must stay black rather than fail.
TEST(SpectrumViewEngineTest, IdleEngineGivesNoDataAndABlackPanel) {
    testsupport::TempDir dir;
    GlobalSettings settings(QString::fromStdString(dir.file("settings.ini")));
    SoundEngine engine;
    SpectrumView view;
    view.resize(500, 130);
    view.setSettings(&settings);
    view.setEngine(&engine);

    settings.setSpectrumType(SpectrumTypeFFT);
    view.updateData();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(view.specData()));

    settings.setSpectrumType(SpectrumTypeWaveForm);
    view.updateData();
    const SpectrumData data = view.specData();
    const auto* traces = std::get_if<std::vector<std::vector<int>>>(&data);
    ASSERT_NE(traces, nullptr);
    EXPECT_TRUE(traces->empty());

    QImage image = blankImage(500, 130);
    QPainter painter(&image);
    view.renderTo(painter, view.size());
    painter.end();
    EXPECT_TRUE(allBlack(image));
}
