#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kr40 {

namespace {

// A hand-over on the wire: magic "KR4H", the argument count (qint32), the
// argument's UTF-8 length (quint32), the UTF-8 bytes; all little-endian. The
// first copy answers one byte: Ack once it holds the message, Nak when it
// refuses it.
constexpr char Magic[4] = {'K', 'R', '4', 'H'};
constexpr int HeaderSize = 12;
constexpr char Ack = 0x06;
constexpr char Nak = 0x15;

// A connection that has not delivered a whole message by then is dropped.
constexpr int StallTimeoutMs = 10000;
// How long Claim waits for a running copy to accept a connection.
constexpr int ProbeTimeoutMs = 1000;
// How long Claim waits for another starting copy to finish its own claim.
constexpr int ClaimLockTimeoutMs = 3000;

// Keeps a name part short and made of characters that are safe in a socket
// path and a pipe name; anything else becomes '_' plus a hash of the original,
// so that different names stay different.
QString SafePart(const QString& part, int maxLength)
{
    const bool plain = part.size() <= maxLength && std::all_of(part.begin(), part.end(), [](QChar c) {
                           return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                                  c == u'.' || c == u'_' || c == u'-';
                       });
    if (plain) return part;
    QString safe = part.left(maxLength - 9);
    for (QChar& c : safe) {
        if (c.unicode() > 0x7F || !(c.isLetterOrNumber() || c == u'.' || c == u'-')) c = u'_';
    }
    const QByteArray hash = QCryptographicHash::hash(part.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return safe + u'_' + QString::fromLatin1(hash);
}

QString UserTag()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return SafePart(qEnvironmentVariable("USERNAME"), 24);
#endif
}

// Milliseconds left for a blocking wait; -1 waits without a limit.
int Remaining(const QDeadlineTimer& deadline)
{
    if (deadline.isForever()) return -1;
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, 0x7FFFFFFF));
}

// What the first copy holds of one incoming connection.
struct Incoming {
    QByteArray bytes;
    bool finished = false;
};

}  // namespace

QString InstanceName(const QString& executablePath)
{
    const QString base = QFileInfo(executablePath).completeBaseName();
    return SafePart(base, 32) + QStringLiteral("_Mutex_951413_03_") + UserTag();
}

HandOverAction DecideHandOver(int argumentCount, const QString& lastArgument, bool busy)
{
    if (argumentCount <= 0 || lastArgument.isEmpty()) return HandOverAction::Raise;
    return busy ? HandOverAction::Ignore : HandOverAction::RaiseAndOpen;
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name))
{
    // Only this user may connect to the socket.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::AcceptConnections);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Claim()
{
    blocked_.clear();
    if (server_.isListening()) return true;

    // Two copies started together must not both find the name free, nor remove
    // the socket the other has just created. The lock file goes stale with a
    // crashed process and is then taken over.
    QLockFile lock(QDir(QDir::tempPath()).filePath(name_ + QStringLiteral(".lock")));
    lock.tryLock(ClaimLockTimeoutMs);

    // Ask before listening: on Unix, listening with user-only access replaces
    // an existing socket file, and a Windows pipe can have several servers.
    {
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(ProbeTimeoutMs)) return false;
    }

    // Nobody answered: whatever is left under the name is from a run that
    // ended without cleaning up.
    if (server_.listen(name_)) return true;
    QLocalServer::removeServer(name_);
    if (server_.listen(name_)) return true;
#ifdef Q_OS_UNIX
    // removeServer removes files only. An empty directory holds nothing and
    // goes too (rmdir refuses any other); one with content is left alone.
    const QString path = QDir::isAbsolutePath(name_) ? name_ : QDir(QDir::tempPath()).filePath(name_);
    const QFileInfo at(path);
    if (at.isDir() && !at.isSymLink() && QDir().rmdir(path) && server_.listen(name_)) return true;
    if (QFileInfo(path).isDir()) {
        blocked_ = QStringLiteral(
                       "the directory %1 stands where the single-instance socket goes and cannot be "
                       "removed (it is not empty or not ours); remove it and start again")
                       .arg(path);
        return false;
    }
#else
    const QString path = name_;
#endif
    blocked_ = QStringLiteral("cannot listen on the single-instance socket %1: %2").arg(path, server_.errorString());
    return false;
}

void SingleInstance::AcceptConnections()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) ServeConnection(socket);
}

void SingleInstance::ServeConnection(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->setReadBufferSize(HeaderSize + MaxArgumentBytes);

    auto* stall = new QTimer(socket);
    stall->setSingleShot(true);
    connect(stall, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    stall->start(StallTimeoutMs);

    auto incoming = std::make_shared<Incoming>();
    auto answer = [socket, incoming, stall](char reply) {
        incoming->finished = true;
        stall->stop();
        socket->write(&reply, 1);
        socket->flush();
        socket->disconnectFromServer();
    };

    connect(socket, &QLocalSocket::readyRead, this, [this, socket, incoming, answer] {
        if (incoming->finished) {
            socket->readAll();
            return;
        }
        // Read only up to the end of the header, then up to the end of the
        // message, so that a length from the socket is checked before any
        // memory is given to it.
        QByteArray& bytes = incoming->bytes;
        if (bytes.size() < HeaderSize) bytes += socket->read(HeaderSize - bytes.size());
        if (bytes.size() < HeaderSize) {
            if (!bytes.isEmpty() && !QByteArrayView(Magic, 4).startsWith(bytes.left(4))) answer(Nak);
            return;
        }
        const auto* header = reinterpret_cast<const uchar*>(bytes.constData());
        const qint32 count = qFromLittleEndian<qint32>(header + 4);
        const quint32 length = qFromLittleEndian<quint32>(header + 8);
        if (QByteArrayView(bytes).first(4) != QByteArrayView(Magic, 4) || count < 0 ||
            length > quint32{MaxArgumentBytes}) {
            answer(Nak);
            return;
        }
        const qsizetype total = HeaderSize + static_cast<qsizetype>(length);
        if (bytes.size() < total) bytes += socket->read(total - bytes.size());
        if (bytes.size() < total) return;
        if (socket->bytesAvailable() > 0) {  // more than one message's worth
            answer(Nak);
            return;
        }

        const QString argument = QString::fromUtf8(bytes.constData() + HeaderSize, length);
        answer(Ack);
        // Emitted from the event loop, not from inside the socket's handler:
        // the receiver may open a file and show a modal box.
        QMetaObject::invokeMethod(
            this, [this, count, argument] { emit HandedOver(count, argument); }, Qt::QueuedConnection);
    });
}

bool SingleInstance::HandOver(const QString& name, int argumentCount, const QString& lastArgument, int timeoutMs)
{
    const QByteArray utf8 = lastArgument.toUtf8();
    if (argumentCount < 0 || utf8.size() > MaxArgumentBytes) return false;

    QByteArray message(HeaderSize, '\0');
    auto* header = reinterpret_cast<uchar*>(message.data());
    std::copy(std::begin(Magic), std::end(Magic), message.begin());
    qToLittleEndian<qint32>(argumentCount, header + 4);
    qToLittleEndian<quint32>(static_cast<quint32>(utf8.size()), header + 8);
    message += utf8;

    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(Remaining(deadline))) return false;
    if (socket.write(message) != message.size()) return false;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(Remaining(deadline))) return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(Remaining(deadline))) return false;
    }
    char reply = 0;
    return socket.getChar(&reply) && reply == Ack;
}

}  // namespace kr40
