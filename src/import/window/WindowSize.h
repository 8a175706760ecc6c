#pragma once

#include <QRect>
#include <QSize>

// The import window's size of the last session, kept per user beside the
// remembered column map. A size from a bigger screen, or a file edited by
// hand, is clamped to the screen the window opens on.
struct WindowSize {
    QSize size;            // empty: none remembered (the window opens maximized)
    bool maximized = true;

    static WindowSize load();
    bool save() const;

    // The remembered size made to fit: at least the window's minimum, at
    // most the screen's available area (which wins where they disagree).
    static QSize clamped(QSize wanted, QSize minimum, QRect available);
};
