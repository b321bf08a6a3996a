// TFileLabel: a one-line label that shows a path and, when the path is wider
// than the label, shortens it by putting an ellipsis in place of whole middle
// components. The last component is always kept, and so is a drive prefix
// such as "C:". The shown text is never set directly: it always follows
// FileName, Separator, Direction, the label's width and its font.
#pragma once

#include <QLabel>
#include <QString>
#include <QStringList>

#include <functional>

enum TDirection {
    drFromLeft,  // components next to the drive go first; those near the file name stay
    drFromRight, // components next to the file name go first; those near the drive stay
};

class TFileLabel : public QLabel {
    Q_OBJECT

  public:
    // Width of a text in the label's units (pixels by default).
    using TMeasure = std::function<int(const QString&)>;

    explicit TFileLabel(QWidget* parent = nullptr);

    QString FileName() const { return fileName_; }
    void SetFileName(const QString& value);

    QString Separator() const { return separator_; }
    void SetSeparator(const QString& value);

    TDirection Direction() const { return direction_; }
    void SetDirection(TDirection value);

    // When on, the label's width follows the text it shows.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);

    // Replaces the text-width function; an empty function restores the
    // default, the horizontal advance of the text in the label's font.
    void SetMeasure(TMeasure measure);

    // The components of FileName and whether the first one is a drive prefix.
    const QStringList& Parts() const { return parts_; }
    bool HasDrive() const { return hasDrive_; }

    // Appends the components of text, divided by separator, to parts: n
    // separators give n + 1 components, empty ones included. An empty
    // separator divides nothing: the whole text is one component.
    static void SplitPath(const QString& text, const QString& separator, QStringList& parts);

    // The text shown for a path of the given components in a label width
    // units wide. Pure: everything it depends on is passed in.
    static QString FitPath(const QString& fileName, const QStringList& parts, bool hasDrive,
                           const QString& separator, TDirection direction, int width,
                           const TMeasure& measure);

    // Rebuilds the parts list and the drive flag from FileName and Separator.
    void ParseFileName();
    // Chooses the shown text for the current width; with AutoSize on, then
    // takes the width of that text and fits again until the text settles.
    void FitFileName();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // The caption follows FileName; it is not set from outside.
    using QLabel::setText;

    int Measure(const QString& text) const;

    QString fileName_;
    QString separator_;
    TDirection direction_ = drFromLeft;
    bool autoSize_ = false;
    TMeasure measure_;
    QStringList parts_;
    bool hasDrive_ = false;
    bool fitting_ = false; // set while FitFileName resizes the label itself
};
