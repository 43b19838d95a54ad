#include "MciInterpreter.h"

#include "Logging.h"
#include "Profile.h"

#include <QFileInfo>
#include <QWidget>

#include <limits>
#include <optional>

namespace kavelo {

namespace {

struct ErrorText {
    MciError code;
    const char* text;
};

// Every text fits the 128-character buffer that callers offer.
constexpr ErrorText kErrorTexts[] = {
    {MciError::EmptyCommand, "The command is empty."},
    {MciError::UnknownCommand, "The command word is not one the media layer knows."},
    {MciError::UnknownKeyword, "The command holds a word that does not belong there."},
    {MciError::MissingValue, "The command lacks a value that it needs."},
    {MciError::BadNumber, "A value in the command is not a whole number."},
    {MciError::OutOfRange, "A position or size in the command is out of range."},
    {MciError::BadQuotes, "A quoted name in the command is not closed or not set apart by blanks."},
    {MciError::UnknownAlias, "No medium is open under that name."},
    {MciError::AliasInUse, "A medium is already open under that name."},
    {MciError::NoDriver, "No media driver is set up for this device type."},
    {MciError::FileNotFound, "The media file cannot be found or read."},
    {MciError::CannotPlay, "The file cannot be played: its format is unknown or it is damaged."},
    {MciError::NoDisplay, "There is no display to show the picture on."},
    {MciError::BadWindow, "The parent window does not exist."},
    {MciError::NoFrames, "This medium has no pictures, so it cannot count in frames."},
    {MciError::NoPicture, "This medium has no picture to place."},
    {MciError::EngineFailed, "The media engine failed."},
    {MciError::NoSoundfont, "The MIDI soundfont cannot be loaded, or the MIDI file is damaged."},
    {MciError::QuoteInName, "The file name holds a double quote, which a command cannot carry."},
    {MciError::Timeout, "The media engine did not answer in time."},
};

bool isBlank(QChar c) {
    return c.unicode() <= 0x20;
}

// Splits a command into words; a word in double quotes may hold blanks. nullopt for quotes
// that are not closed or not set apart from the next word.
std::optional<QStringList> tokenize(const QString& command) {
    QStringList words;
    const qsizetype n = command.size();
    qsizetype i = 0;
    while (i < n) {
        if (isBlank(command[i])) {
            ++i;
            continue;
        }
        if (command[i] == QLatin1Char('"')) {
            const qsizetype close = command.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0 || (close + 1 < n && !isBlank(command[close + 1])))
                return std::nullopt;
            words << command.mid(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        qsizetype j = i;
        while (j < n && !isBlank(command[j])) {
            if (command[j] == QLatin1Char('"'))
                return std::nullopt;
            ++j;
        }
        words << command.mid(i, j - i);
        i = j;
    }
    return words;
}

bool is(const QString& word, const char* keyword) {
    return word.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
}

std::optional<qint64> toNumber(const QString& word) {
    if (word.isEmpty() || word.size() > 20)
        return std::nullopt;
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && c == QLatin1Char('-')))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 v = word.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

bool fitsInt32(qint64 v) {
    return v >= std::numeric_limits<std::int32_t>::min() &&
           v <= std::numeric_limits<std::int32_t>::max();
}

} // namespace

QString mciErrorText(std::uint32_t code) {
    for (const ErrorText& e : kErrorTexts) {
        if (static_cast<std::uint32_t>(e.code) == code)
            return QString::fromLatin1(e.text);
    }
    return {};
}

MciInterpreter::MciInterpreter(DeviceFactory factory) : m_factory(std::move(factory)) {}

MciInterpreter::~MciInterpreter() {
    m_devices.clear();
}

QStringList MciInterpreter::aliases() const {
    QStringList names;
    for (const auto& [name, device] : m_devices)
        names << name;
    return names;
}

std::uint32_t MciInterpreter::sendString(const QString& command, QString* reply, int replyLength) {
    QString answer;
    MciError result = MciError::EngineFailed;
    try {
        result = run(command, &answer);
    } catch (...) {
        logging::noteAbsorbed();
        result = MciError::EngineFailed;
    }
    if (reply) {
        if (replyLength > 0 && result == MciError::None)
            *reply = answer.left(replyLength - 1);
        else
            reply->clear();
    }
    return static_cast<std::uint32_t>(result);
}

bool MciInterpreter::getErrorString(std::uint32_t code, QString* text, int length) {
    const QString t = mciErrorText(code);
    if (t.isEmpty() || length <= 0) {
        if (text)
            text->clear();
        return false;
    }
    if (text)
        *text = t.left(length - 1);
    return true;
}

MciError MciInterpreter::run(const QString& command, QString* reply) {
    const std::optional<QStringList> words = tokenize(command);
    if (!words)
        return MciError::BadQuotes;
    if (words->isEmpty())
        return MciError::EmptyCommand;
    const QString verb = words->front();
    const QStringList args = words->mid(1);
    if (is(verb, "open"))
        return open(args);
    for (const char* known :
         {"play", "pause", "resume", "stop", "close", "seek", "put", "set", "status"}) {
        if (is(verb, known))
            return onDevice(QString::fromLatin1(known), args, reply);
    }
    return MciError::UnknownCommand;
}

MciError MciInterpreter::open(const QStringList& args) {
    if (args.isEmpty())
        return MciError::MissingValue;
    const QString element = args[0];
    QString type;
    QString alias = element;
    std::optional<QString> parentText;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& w = args[i];
        if (is(w, "shareable"))
            continue;
        if (!(is(w, "type") || is(w, "alias") || is(w, "parent") || is(w, "style")))
            return MciError::UnknownKeyword;
        if (i + 1 >= args.size())
            return MciError::MissingValue;
        const QString& value = args[++i];
        if (is(w, "type")) {
            type = value;
        } else if (is(w, "alias")) {
            alias = value;
        } else if (is(w, "parent")) {
            parentText = value;
        } else if (!toNumber(value)) { // style: accepted, the picture is always a child
            return MciError::BadNumber;
        }
    }
    if (element.isEmpty() || type.isEmpty() || alias.isEmpty())
        return MciError::MissingValue;
    const QString key = alias.toLower();
    if (is(key, "all"))
        return MciError::UnknownKeyword;
    if (m_devices.count(key))
        return MciError::AliasInUse;

    OpenRequest request;
    request.deviceType = type;
    if (parentText) {
        const std::optional<qint64> id = toNumber(*parentText);
        if (!id)
            return MciError::BadNumber;
        if (*id <= 0)
            return MciError::BadWindow;
        request.parent = QWidget::find(static_cast<WId>(*id));
        if (!request.parent)
            return MciError::BadWindow;
    }

    const QString driver =
        getPrivateProfileString(QStringLiteral("MCI"), type, QString(), systemProfilePath())
            .trimmed()
            .toLower();
    if (driver != QLatin1String("mciqtz.drv") && driver != QLatin1String("mciavi.drv"))
        return MciError::NoDriver;
    request.driver = driver;

    const QFileInfo file(element);
    if (!file.isFile() || !file.isReadable())
        return MciError::FileNotFound;
    request.path = file.absoluteFilePath();

    if (!m_factory)
        return MciError::EngineFailed;
    MciError error = MciError::CannotPlay;
    std::unique_ptr<IMciDevice> device = m_factory(request, &error);
    if (!device)
        return error == MciError::None ? MciError::CannotPlay : error;
    m_devices.emplace(key, std::move(device));
    return MciError::None;
}

MciError MciInterpreter::onDevice(const QString& verb, const QStringList& args, QString* reply) {
    if (args.isEmpty())
        return MciError::MissingValue;
    const QString key = args[0].toLower();
    const QStringList rest = args.mid(1);

    if (verb == QLatin1String("close") && key == QLatin1String("all")) {
        if (!rest.isEmpty())
            return MciError::UnknownKeyword;
        m_devices.clear();
        return MciError::None;
    }
    const auto found = m_devices.find(key);
    if (found == m_devices.end())
        return MciError::UnknownAlias;
    IMciDevice& device = *found->second;

    // A position must lie between 0 and the length, in the current time format.
    const auto checkPosition = [&device](qint64 v) {
        qint64 len = 0;
        const MciError e = device.length(&len);
        if (e != MciError::None)
            return e;
        return (v < 0 || v > len) ? MciError::OutOfRange : MciError::None;
    };

    if (verb == QLatin1String("close")) {
        if (!rest.isEmpty())
            return MciError::UnknownKeyword;
        m_devices.erase(found);
        return MciError::None;
    }
    if (verb == QLatin1String("pause") || verb == QLatin1String("resume") ||
        verb == QLatin1String("stop")) {
        if (!rest.isEmpty())
            return MciError::UnknownKeyword;
        if (verb == QLatin1String("pause"))
            return device.pause();
        if (verb == QLatin1String("resume"))
            return device.resume();
        return device.stop();
    }
    if (verb == QLatin1String("play")) {
        std::optional<qint64> from;
        std::optional<qint64> to;
        for (qsizetype i = 0; i < rest.size(); i += 2) {
            const bool isFrom = is(rest[i], "from");
            if (!isFrom && !is(rest[i], "to"))
                return MciError::UnknownKeyword;
            if (i + 1 >= rest.size())
                return MciError::MissingValue;
            const std::optional<qint64> v = toNumber(rest[i + 1]);
            if (!v)
                return MciError::BadNumber;
            if (const MciError e = checkPosition(*v); e != MciError::None)
                return e;
            (isFrom ? from : to) = *v;
        }
        if (from && to && *from > *to)
            return MciError::OutOfRange;
        return device.play(from, to);
    }
    if (verb == QLatin1String("seek")) {
        if (rest.size() < 2)
            return MciError::MissingValue;
        if (!is(rest[0], "to") || rest.size() > 2)
            return MciError::UnknownKeyword;
        qint64 target = 0;
        if (is(rest[1], "start")) {
            target = 0;
        } else if (is(rest[1], "end")) {
            if (const MciError e = device.length(&target); e != MciError::None)
                return e;
        } else {
            const std::optional<qint64> v = toNumber(rest[1]);
            if (!v)
                return MciError::BadNumber;
            if (const MciError e = checkPosition(*v); e != MciError::None)
                return e;
            target = *v;
        }
        return device.seek(target);
    }
    if (verb == QLatin1String("put")) {
        if (rest.size() < 2)
            return MciError::MissingValue;
        if (!is(rest[0], "window") || !is(rest[1], "at"))
            return MciError::UnknownKeyword;
        if (rest.size() < 6)
            return MciError::MissingValue;
        if (rest.size() > 6)
            return MciError::UnknownKeyword;
        qint64 v[4] = {};
        for (int k = 0; k < 4; ++k) {
            const std::optional<qint64> n = toNumber(rest[2 + k]);
            if (!n)
                return MciError::BadNumber;
            if (!fitsInt32(*n))
                return MciError::OutOfRange;
            v[k] = *n;
        }
        if (v[2] <= 0 || v[3] <= 0 || v[2] > 32767 || v[3] > 32767 || v[0] < -32768 ||
            v[0] > 32767 || v[1] < -32768 || v[1] > 32767)
            return MciError::OutOfRange;
        return device.putWindow(QRect(static_cast<int>(v[0]), static_cast<int>(v[1]),
                                      static_cast<int>(v[2]), static_cast<int>(v[3])));
    }
    if (verb == QLatin1String("set")) {
        if (rest.size() < 3)
            return MciError::MissingValue;
        if (!is(rest[0], "time") || !is(rest[1], "format") || rest.size() > 3)
            return MciError::UnknownKeyword;
        if (is(rest[2], "frames"))
            return device.setTimeFormat(TimeFormat::Frames);
        if (is(rest[2], "milliseconds") || is(rest[2], "ms"))
            return device.setTimeFormat(TimeFormat::Milliseconds);
        return MciError::UnknownKeyword;
    }
    if (verb == QLatin1String("status")) {
        if (rest.isEmpty())
            return MciError::MissingValue;
        if (rest.size() > 1)
            return MciError::UnknownKeyword;
        if (is(rest[0], "mode")) {
            *reply = device.mode();
            return MciError::None;
        }
        qint64 value = 0;
        MciError e = MciError::UnknownKeyword;
        if (is(rest[0], "length"))
            e = device.length(&value);
        else if (is(rest[0], "position"))
            e = device.position(&value);
        if (e == MciError::None)
            *reply = QString::number(value);
        return e;
    }
    return MciError::UnknownCommand;
}

} // namespace kavelo
