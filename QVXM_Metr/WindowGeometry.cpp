#include "WindowGeometry.h"

#include <QOperatingSystemVersion>

namespace WindowGeometry {

int OsVersionCodeFor(OsPlatform platform, int major, int minor)
{
    switch (platform) {
    case OsPlatform::Win32s:
        return 1;
    case OsPlatform::Windows9x:
        if (major == 4 && minor == 0)
            return 2;
        return (major > 4 || (major == 4 && minor != 0)) ? 3 : 0;
    case OsPlatform::WindowsNT:
        if (major <= 4)
            return 4;
        if (major == 5)
            return minor == 0 ? 5 : minor == 1 ? 6 : minor == 2 ? 7 : 0;
        if (major == 6)
            return minor == 0 ? 8 : minor == 1 ? 9 : 10;
        return 0;
    case OsPlatform::Other:
        break;
    }
    return 0;
}

int CurrentOsVersionCode()
{
    const QOperatingSystemVersion os = QOperatingSystemVersion::current();
    if (os.type() != QOperatingSystemVersion::Windows)
        return 0;
    return OsVersionCodeFor(OsPlatform::WindowsNT, os.majorVersion(), os.minorVersion());
}

int StartupClientHeight(int designClientHeight, int equipmentHeight, int workAreaHeight,
                        const FrameMetrics &metrics)
{
    const int chrome = metrics.titleBar + 2 * metrics.frameHeight;
    int outer = chrome + designClientHeight - equipmentHeight;
    if (workAreaHeight < outer)
        outer = workAreaHeight;
    return outer - chrome;
}

bool NeedsRoomForScrollBar(int minClientWidth, int multimeterPanelWidth, const FrameMetrics &metrics)
{
    return minClientWidth + 2 * metrics.frameWidth
           < multimeterPanelWidth + 2 * metrics.frameWidth + metrics.scrollBarWidth + 10;
}

int StartupWindowTop(const QRect &workArea, int windowHeight)
{
    return workArea.top() + CentredOffset(workArea.height(), windowHeight);
}

QRect PlaceHint(const QRect &hint, const QRect &workArea)
{
    QRect placed = hint;
    const int bottom = workArea.y() + workArea.height();
    const int right = workArea.x() + workArea.width();
    if (placed.y() + placed.height() > bottom)
        placed.moveTop(bottom - placed.height() - 10);
    if (placed.x() + placed.width() > right)
        placed.moveLeft(right - placed.width() - 10);
    return placed;
}

} // namespace WindowGeometry
