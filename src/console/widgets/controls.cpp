#include "controls.h"

namespace kalveno {

QWidget *controlNamed(const QWidget *form, const QString &name)
{
    return form->findChild<QWidget *>(name);
}

void wrongControl(const QString &name, const char *kind)
{
    qFatal("the window has no control %s of kind %s", qPrintable(name), kind);
}

} // namespace kalveno
