// One running instance per user: the first start listens, a later one connects and ends.
#pragma once

#include <QLocalServer>
#include <QObject>

namespace pomu::ui {

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // True when this process is the instance that runs (it now listens); false when another
    // instance answered, which has then been asked to come to the front.
    bool claim();

    // A per-user socket in the user's runtime folder, or the temp folder without one.
    static QString defaultName();

  signals:
    void activationRequested();

  private:
    void acceptConnections();
    bool otherInstanceAnswers() const;

    QString name_;
    QLocalServer server_;
};

}  // namespace pomu::ui
