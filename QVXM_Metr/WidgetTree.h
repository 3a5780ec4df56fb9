#pragma once

class QWidget;

// Walking the window's widget tree the way the enable rules need it.
namespace WidgetTree {

// A widget that only holds other controls (panel, group box, page, scroll box), as opposed to
// a control whose children are its own parts.
bool IsContainer(const QWidget *widget);

// Sets the enabled state of the container and of every control inside it, recursively. When
// enabling, `keepInside` itself is enabled but not descended into, so its controls keep theirs.
void SetEnabledDeep(QWidget *container, bool enabled, const QWidget *keepInside = nullptr);

} // namespace WidgetTree
