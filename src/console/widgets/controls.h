#pragma once

#include <QString>
#include <QWidget>

#include <array>

namespace kalveno {

// The window's controls are found by their object names, which are the design's control names;
// members of a control array are named "NAME(index)". A control that is missing or of another
// kind is a fault in the inventory, never a run-time condition, so it ends the program at once.
QWidget *controlNamed(const QWidget *form, const QString &name);
[[noreturn]] void wrongControl(const QString &name, const char *kind);

template<typename T>
T *control(const QWidget *form, const char *name)
{
    const QString objectName = QString::fromLatin1(name);
    auto *found = qobject_cast<T *>(controlNamed(form, objectName));
    if (!found)
        wrongControl(objectName, T::staticMetaObject.className());
    return found;
}

template<typename T, std::size_t N>
std::array<T *, N> controlArray(const QWidget *form, const char *name)
{
    std::array<T *, N> members{};
    for (std::size_t i = 0; i < N; ++i) {
        const QString objectName = QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i);
        members[i] = qobject_cast<T *>(controlNamed(form, objectName));
        if (!members[i])
            wrongControl(objectName, T::staticMetaObject.className());
    }
    return members;
}

} // namespace kalveno
