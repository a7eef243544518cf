#pragma once
// The one way tests find a control: by type and objectName below a widget. A missing name
// fails the test and lists the names that are there, so a renamed control is found at once.
#include <QObject>
#include <QStringList>
#include <gtest/gtest.h>

namespace tarvex::test {

inline QStringList childNames(const QObject* parent)
{
    QStringList names;
    if (parent)
        for (const QObject* o : parent->findChildren<QObject*>())
            if (!o->objectName().isEmpty())
                names << o->objectName();
    names.sort();
    names.removeDuplicates();
    return names;
}

template <typename T>
T* child(const QObject* parent, const char* name)
{
    T* c = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!c)
        ADD_FAILURE() << "no " << T::staticMetaObject.className() << " named " << name << "; there are: "
                      << childNames(parent).join(QStringLiteral(", ")).toStdString();
    return c;
}

} // namespace tarvex::test
