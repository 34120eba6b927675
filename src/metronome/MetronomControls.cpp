#include "metronome/MetronomControls.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <utility>

#include "formats/NumberText.h"
#include "metronome/Metronom.h"
#include "ui/ValueSlider.h"

MetronomControls::MetronomControls(const Widgets& widgets, Metronom& metronom, const QString& image,
                                   const QString& alternateImage, QObject* parent)
    : QObject(parent),
      widgets_(widgets),
      metronom_(metronom),
      image_(image),
      alternateImage_(alternateImage) {
    showImage();
}

void MetronomControls::connectControls() {
    connect(widgets_.buttonMetronomPlay, &QAbstractButton::clicked, this,
            &MetronomControls::clickedButtonMetronomPlay);
    connect(widgets_.buttonMetronomStartWithMusic, &QAbstractButton::clicked, this,
            &MetronomControls::clickedButtonMetronomStartWithMusic);
    connect(widgets_.sliderMetronomVolume, &ValueSlider::userMoved, this,
            &MetronomControls::sliderMetronomVolumeMoved);
}

QVariant MetronomControls::bpmFromField() const {
    return QVariant(numbertext::integerValue(widgets_.labelMetronomBPM->text()));
}

void MetronomControls::clickedButtonMetronomPlay() {
    if (widgets_.buttonMetronomPlay->isChecked()) {
        metronom_.setNumberBPM(bpmFromField());
        if (!metronom_.start()) {
            widgets_.buttonMetronomPlay->setChecked(false);
            return;
        }
    } else {
        metronom_.stop();
    }
    swapImages();
}

void MetronomControls::clickedButtonMetronomStartWithMusic() {
    if (widgets_.buttonMetronomStartWithMusic->isChecked()) {
        widgets_.buttonMetronomPlay->setEnabled(false);
        metronom_.stop();
    } else {
        widgets_.buttonMetronomPlay->setEnabled(true);
    }
}

void MetronomControls::sliderMetronomVolumeMoved() {
    metronom_.setVolume(widgets_.sliderMetronomVolume->floatValue());
}

void MetronomControls::stopMetronom() {
    widgets_.buttonMetronomPlay->setEnabled(false);
    metronom_.stop();
    if (QFileInfo(image_).completeBaseName() == QLatin1String(kSwapBackImageName)) {
        swapImages();
    }
}

void MetronomControls::musicStarted() {
    if (widgets_.buttonMetronomStartWithMusic->isChecked()) {
        metronom_.setNumberBPM(bpmFromField());
        metronom_.start();
    }
}

void MetronomControls::musicPaused() {
    metronom_.stop();
}

void MetronomControls::swapImages() {
    std::swap(image_, alternateImage_);
    showImage();
}

void MetronomControls::showImage() {
    widgets_.buttonMetronomPlay->setIcon(QIcon(image_));
}
