#pragma once
// The named objects under one object, found by name from a single walk of its tree: for code
// that looks up many controls in a row (a table of texts, of names, of tab chains), where a
// findChild() each would walk the whole window every time. Holds while no object of the tree
// is made, renamed or deleted.

#include <QHash>
#include <QObject>
#include <QString>

class NamedChildren {
  public:
    explicit NamedChildren(const QObject* root) : root_(root) {
        const QList<QObject*> all = root->findChildren<QObject*>();
        byName_.reserve(all.size());
        for (QObject* o : all) {
            const QString name = o->objectName();
            if (!name.isEmpty() && !byName_.contains(name)) byName_.insert(name, o);
        }
    }

    // As root->findChild<T*>(name): null when nothing has that name, the first object of that
    // name when it is a T, or else the one T of that name a search of the tree finds.
    template <class T>
    T* find(const QString& name) const {
        QObject* first = byName_.value(name);
        if (!first) return nullptr;
        if (auto* o = qobject_cast<T*>(first)) return o;
        return root_->findChild<T*>(name);
    }
    template <class T>
    T* find(const char* name) const {
        return find<T>(QString::fromLatin1(name));
    }

  private:
    const QObject* root_;
    QHash<QString, QObject*> byName_;
};
