// The crash report dialog (resources/KTVarneskMain.ui): tells the user the program crashed last
// time, shows the crash log with the program's recent system log lines, takes a description and
// sends the report through the manager, or cancels.
//
// Threads: main thread only; askCrashReportDetails() runs the dialog's own modal loop.
#ifndef TONVERA_CRASHREPORT_KTVARNESKUI_H
#define TONVERA_CRASHREPORT_KTVARNESKUI_H

#include <QObject>
#include <QString>
#include <memory>

class KTVarneskManager;
class QDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;
namespace Ui {
class KTVarneskMain;
}

class KTVarneskUI : public QObject {
    Q_OBJECT

  public:
    // The editing commands the description field hands to control().
    enum class Command { InsertNewline, Other };

    // Loads the window; keeps `delegate` without owning it.
    KTVarneskUI(KTVarneskManager* delegate, const QString& crashFile, const QString& companyName,
                const QString& applicationName);
    ~KTVarneskUI() override;

    // Fills the window and runs it modally; returns once it has been closed.
    void askCrashReportDetails();

    // The areas: the value of the sending control (non-zero opens) for the comments, one
    // operation each way for the details. Each resizes the window and keeps its top edge.
    void showComments(int senderValue);
    void showDetails();
    void hideDetails();
    // Cancel and send; both close the dialog.
    void cancelReport();
    void submitReport();
    void endCrashReporter();
    // Return in the description field inserts a line break: true when the command was handled.
    bool control(QPlainTextEdit* textView, Command command);

    bool showComments() const { return showComments_; }
    void setShowComments(bool show) { showComments_ = show; }
    bool showDetails() const { return showDetails_; }
    void setShowDetails(bool show) { showDetails_ = show; }

    // ---- outlets and what the dialog holds
    QDialog* window() const { return window_.get(); }
    QPlainTextEdit* descriptionTextField() const;
    QPlainTextEdit* crashLogTextView() const;
    QLabel* noteText() const;
    QPushButton* showButton() const;
    QPushButton* hideButton() const;
    QPushButton* cancelButton() const;
    QPushButton* submitButton() const;
    // The report's <crash> element once sent; empty before.
    const QString& xml() const { return _xml; }
    const QString& consoleContent() const { return _consoleContent; }
    const QString& crashLogContent() const { return _crashLogContent; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Shows or hides `area` and changes the window's height by `heightChange`.
    void resizeKeepingTop(QWidget* area, bool visible, int heightChange);

    std::unique_ptr<QDialog> window_;
    std::unique_ptr<Ui::KTVarneskMain> ui_;
    KTVarneskManager* _delegate;
    QString _xml;
    QString _crashFile;
    QString _companyName;
    QString _applicationName;
    QString _consoleContent;
    QString _crashLogContent;
    bool showComments_ = true;
    bool showDetails_ = false;
};

#endif
