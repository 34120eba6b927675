// A one-line label that, when its text is wider than the label, draws it with the middle cut
// out and an ellipsis in its place, so both the start and the end of a long file name stay
// readable. text() is always the whole text.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_ELIDEDLABEL_H
#define TONVERA_PLAYER_ELIDEDLABEL_H

#include <QLabel>

class ElidedLabel : public QLabel {
    Q_OBJECT

  public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // The text as drawn at the current width.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

#endif
