#pragma once
// One running copy per executable name and user. The first copy listens on a
// local socket; a later start connects, hands over its argument count and last
// argument, and exits. The first copy then decides with DecideHandOver whether
// to raise its window and open the file.

#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace kr40 {

// The local-socket name for an executable: its file name without path and
// extension, "_Mutex_951413_03", and the user, so that two users of one machine
// each get their own first copy. Names that are too long or hold characters
// unsafe in a socket path are shortened and made unique with a hash.
QString InstanceName(const QString& executablePath);

// What the first copy does with a hand-over.
//   count 0 or empty argument   -> Raise (nothing to open; raise even while busy,
//                                  the user started the program to find it)
//   a file while busy           -> Ignore (neither raise nor open: a modal
//                                  action is running)
//   a file while not busy       -> RaiseAndOpen
enum class HandOverAction { Ignore, Raise, RaiseAndOpen };
HandOverAction DecideHandOver(int argumentCount, const QString& lastArgument, bool busy);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first copy and should run. False when
    // another copy answered on the name (the caller then hands over and exits)
    // or when the name cannot be held (BlockedReason() tells why; the caller
    // must not run, since a later start could not find this copy either).
    // Whatever a run that ended without cleaning up left under the name - its
    // socket, another file, an empty directory - is removed and taken over.
    bool Claim();
    bool IsListening() const { return server_.isListening(); }
    // Why the last Claim could not hold the name; empty otherwise.
    const QString& BlockedReason() const { return blocked_; }
    const QString& Name() const { return name_; }

    // The later start's side: sends the count and the last argument to the copy
    // listening on name and waits for its acknowledgement. Blocks the calling
    // thread for at most timeoutMs; true when the first copy received it.
    static bool HandOver(const QString& name, int argumentCount, const QString& lastArgument, int timeoutMs);

    // Largest argument, in UTF-8 bytes, that travels in a hand-over; longer
    // messages are refused on both sides.
    static constexpr int MaxArgumentBytes = 64 * 1024;

signals:
    // Emitted on this object's thread, from the event loop, once per complete
    // hand-over.
    void HandedOver(int argumentCount, QString lastArgument);

private:
    void AcceptConnections();
    void ServeConnection(QLocalSocket* socket);

    QString name_;
    QString blocked_;
    QLocalServer server_;
};

}  // namespace kr40
