// One running instance per user: the first start listens, a later one connects and ends.
#pragma once

#include <QLocalServer>
#include <QObject>

namespace pomu::ui {

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // True when this process is the instance that runs (it now listens), also when no claim
    // could be made at all (it then says why on standard error); false when another instance
    // of this user answered, which has then been asked to come to the front.
    bool claim();

    // The user's runtime folder (or the temp folder) with the user id: what sets one user's
    // session apart. Any length: the socket's address is made from it, not named by it.
    static QString defaultName();

  signals:
    void activationRequested();

  private:
    void acceptConnections();

    QString name_;
    QLocalServer server_;
};

}  // namespace pomu::ui
