// TFileLabel: a one-line label (a child window of its own class) that shows
// a path, shortened by the rules of FileLblRules when it is wider than the
// label, measured in the label's font. Its text always follows FileName,
// Separator, Direction, its width and its font.
#pragma once

#include "FileLblRules.h"

#include <windows.h>

#include <string>

class TFileLabel {
  public:
    // A child of parent at the given client rectangle, in font (not owned).
    TFileLabel(HWND parent, int x, int y, int width, int height, TDirection direction, HFONT font);
    ~TFileLabel();
    TFileLabel(const TFileLabel&) = delete;
    TFileLabel& operator=(const TFileLabel&) = delete;

    HWND Handle() const { return hwnd_; }

    const std::string& FileName() const { return path_.fileName; }
    void SetFileName(const std::string& value);

    // The native separator ("\" on Windows) by default.
    const std::string& Separator() const { return path_.separator; }
    void SetSeparator(const std::string& value);

    TDirection Direction() const { return direction_; }
    void SetDirection(TDirection value);

    // When on, the label's width follows the text it shows.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);

    void SetFont(HFONT font);
    // Text colour; the background is the parent's (button face).
    void SetTextColor(COLORREF color);

    // The text shown now.
    const std::string& Caption() const { return caption_; }

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Fit();
    int Measure(const std::string& text) const;
    void Paint();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    COLORREF textColor_;
    TPathParts path_;
    TDirection direction_ = drFromLeft;
    bool autoSize_ = false;
    std::string caption_;
};
