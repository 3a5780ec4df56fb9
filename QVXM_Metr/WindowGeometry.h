#pragma once

#include <QRect>

// Geometry and system rules of the main window that need no widget.
namespace WindowGeometry {

enum class OsPlatform { Win32s, Windows9x, WindowsNT, Other };

// Windows version class of the running system; 0 on any system that is not Windows.
int OsVersionCodeFor(OsPlatform platform, int major, int minor);
int CurrentOsVersionCode();

// System sizes that the window's size rules depend on.
struct FrameMetrics {
    int titleBar = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int scrollBarWidth = 0;
};

// Client height of the window at start: the design height without the hidden instrument strip,
// cut to the work area when the whole window would not fit in it.
int StartupClientHeight(int designClientHeight, int equipmentHeight, int workAreaHeight,
                        const FrameMetrics &metrics);

// True when the window's minimal width leaves no room for the channel area's scroll bar.
bool NeedsRoomForScrollBar(int minClientWidth, int multimeterPanelWidth, const FrameMetrics &metrics);

// Offset that centres a length inside another, rounded toward zero.
constexpr int CentredOffset(int outer, int inner) { return (outer - inner) / 2; }

// Top of the window that centres it vertically in the work area.
int StartupWindowTop(const QRect &workArea, int windowHeight);

// A hint rectangle moved inside the work area with a margin of 10 pixels where it would pass
// the bottom or the right edge.
QRect PlaceHint(const QRect &hint, const QRect &workArea);

} // namespace WindowGeometry
