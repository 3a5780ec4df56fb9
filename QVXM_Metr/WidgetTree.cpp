#include "WidgetTree.h"

#include <QGroupBox>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace WidgetTree {

bool IsContainer(const QWidget *widget)
{
    const QMetaObject *meta = widget->metaObject();
    // Plain widgets and frames are the panels; subclasses of them are controls (labels, LEDs)
    // unless they are one of the container kinds below or a panel class of our own.
    if (meta == &QWidget::staticMetaObject || meta == &QFrame::staticMetaObject)
        return true;
    if (qobject_cast<const QGroupBox *>(widget) || qobject_cast<const QTabWidget *>(widget)
        || qobject_cast<const QStackedWidget *>(widget) || qobject_cast<const QScrollArea *>(widget)
        || qobject_cast<const QSplitter *>(widget))
        return true;
    return widget->property("panel").toBool();
}

void SetEnabledDeep(QWidget *container, bool enabled, const QWidget *keepInside)
{
    container->setEnabled(enabled);
    if (enabled && container == keepInside)
        return;
    QList<QWidget *> children;
    if (auto *pages = qobject_cast<QTabWidget *>(container)) {
        // The pages are the page control's children; its stack is an implementation detail.
        for (int i = 0; i < pages->count(); ++i)
            children.append(pages->widget(i));
    } else if (auto *box = qobject_cast<QScrollArea *>(container)) {
        if (box->widget())
            children.append(box->widget());
    } else {
        children = container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    }
    for (QWidget *child : std::as_const(children)) {
        if (child->isWindow())
            continue;  // pop-ups owned by a control are not part of the panel
        if (IsContainer(child))
            SetEnabledDeep(child, enabled, keepInside);
        else
            child->setEnabled(enabled);
    }
}

} // namespace WidgetTree
