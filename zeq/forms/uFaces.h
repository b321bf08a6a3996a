// The faces the split engine's windows are laid out for, each followed by
// look-alikes for systems that lack it; a backend takes the first one the
// system has. All are used 11 pixels high.
#pragma once

#include <vector>

using TFaceList = std::vector<const char*>;

// The main window.
inline const TFaceList& VerdanaFaces() {
    static const TFaceList faces{"Verdana", "DejaVu Sans"};
    return faces;
}
// The figures of the details panel.
inline const TFaceList& NarrowFaces() {
    static const TFaceList faces{"Arial Narrow", "Liberation Sans Narrow", "Nimbus Sans Narrow",
                                 "DejaVu Sans Condensed", "DejaVu Sans"};
    return faces;
}
// The dialogs.
inline const TFaceList& DialogFaces() {
    static const TFaceList faces{"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans",
                                 "Arial",         "Nimbus Sans",          "DejaVu Sans Condensed",
                                 "DejaVu Sans"};
    return faces;
}

// The pixel height of every face.
inline constexpr int FacePixelHeight = 11;
