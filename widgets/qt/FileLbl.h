// TFileLabel: a one-line label that shows a path, shortened by the rules of
// FileLblRules when it is wider than the label, measured in the label's font.
// The shown text is never set directly: it always follows FileName,
// Separator, Direction, the label's width and its font.
#pragma once

#include "FileLblRules.h"

#include <QLabel>
#include <QString>
#include <QStringList>

#include <functional>

class TFileLabel : public QLabel {
    Q_OBJECT

  public:
    // Width of a text in the label's units (pixels by default).
    using TMeasure = std::function<int(const QString&)>;

    explicit TFileLabel(QWidget* parent = nullptr);
    // Placed at geometry in its parent, shortening in the given direction.
    TFileLabel(QWidget* parent, const QRect& geometry, TDirection direction);

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
    QStringList Parts() const;
    bool HasDrive() const { return path_.hasDrive; }

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
    TPathParts path_; // FileName and Separator in UTF-8, split

    bool fitting_ = false; // set while FitFileName resizes the label itself
};
