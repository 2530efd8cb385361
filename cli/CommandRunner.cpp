// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandRunner.h"

#include "android/AdbCommands.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidRestoreSMSThread.h"
#include "base/DataFolders.h"
#include "base/ShellServices.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleProgress.h"
#include "cli/Interrupt.h"
#include "cli/TerminalText.h"
#include "cli/UsageError.h"
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/BackupSMSThread.h"
#include "ops/CountryCodes.h"
#include "ops/ExportFormats.h"
#include "ops/ExportSMSThread.h"
#include "ops/MessageFilter.h"
#include "ops/MessageSources.h"
#include "ops/ReadMessagesThread.h"
#include "ops/XmlImportThread.h"
#include "store/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

void printResult(const QString& line, LineBreaks lineBreaks = LineBreaks::Escape)
{
    std::fputs((terminalText(line, lineBreaks) + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

// One line of tab-separated fields; a tab or line break inside a field is escaped with the rest.
void printFields(const QStringList& fields)
{
    QStringList printable;
    for (const QString& field : fields)
        printable << terminalText(field);
    std::fputs((printable.join(QLatin1Char('\t')) + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

std::runtime_error failure(const QString& text)
{
    return std::runtime_error(text.toStdString());
}

// Number of messages of a message store, without reading them, and without creating a store in a
// folder that holds none.
qint64 countMessages(const QDir& folder)
{
    IOS6MessageDb db(folder, QString(), false);
    return db.messageCount();
}

} // namespace

CommandRunner::CommandRunner(const CommandLine& line)
    : m_line(line)
{
}

int CommandRunner::run()
{
    const QString& command = m_line.command;
    if (command == QLatin1String("devices"))
        return devices();
    if (command == QLatin1String("load"))
        return load();
    if (command == QLatin1String("backup"))
        return backup();
    if (command == QLatin1String("list"))
        return list();
    if (command == QLatin1String("export"))
        return exportMessages();
    if (command == QLatin1String("import"))
        return importXml();
    if (command == QLatin1String("restore"))
        return restore();
    if (command == QLatin1String("search"))
        return search();
    throw UsageError(QStringLiteral("unknown command \"%1\".").arg(command));
}

void CommandRunner::runWorker(WorkerThread& worker, ConsoleProgress& progress)
{
    const InterruptTarget target(&progress);
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.start(QThread::InheritPriority);
    loop.exec();
    worker.wait();
    // The worker's last post was queued before its finished signal; deliver whatever is left.
    QCoreApplication::sendPostedEvents(&progress);
    progress.endLine();
    if (progress.cancelled)
        throw TaskCancelled();
    if (progress.failed())
        throw failure(progress.errorText().isEmpty() ? QStringLiteral("unknown error.") : progress.errorText());
    if (!progress.succeeded())
        throw failure(QStringLiteral("the operation ended without a result."));
}

QDir CommandRunner::databaseFolder(const QString& name)
{
    const QString folder = localDatabaseFolder(name);
    if (folder.isEmpty())
        throw UsageError(localDbNameProblem(name));
    return QDir(folder);
}

QDir CommandRunner::existingDatabase(const QString& name)
{
    const QDir folder = databaseFolder(name);
    if (!folder.exists())
        throw failure(QStringLiteral("There is no local database named \"%1\".").arg(name));
    return folder;
}

QList<_MsgMessage*> CommandRunner::readMessages(const MessageSource& source)
{
    ConsoleProgress progress;
    ReadMessagesThread worker(source, m_collection, &progress);
    runWorker(worker, progress);
    return worker.messages();
}

qint64 CommandRunner::dateBound(const QString& option, const QString& text)
{
    const std::optional<qint64> bound = MessageFilter::parseBound(text, option == QLatin1String("until"));
    if (!bound)
        throw UsageError(QStringLiteral("--%1 takes a date YYYY-MM-DD or a time YYYY-MM-DDTHH:MM[:SS], not \"%2\".")
                             .arg(option, text));
    return *bound;
}

void CommandRunner::checkCountryOption() const
{
    if (m_line.has(QStringLiteral("country")) && !isKnownCountry(m_line.value(QStringLiteral("country"))))
        throw UsageError(QStringLiteral("unknown mobile country code \"%1\" for --country.")
                             .arg(m_line.value(QStringLiteral("country"))));
}

AndroidDevice CommandRunner::connectDevice()
{
    ConsoleProgress progress;
    if (m_line.has(QStringLiteral("usb"))) {
        AndroidConnectWithUSBThread worker(m_line.value(QStringLiteral("usb")), &progress);
        if (m_line.has(QStringLiteral("direct")))
            worker.setRoad(directphone::UsbRoad::Direct);
        runWorker(worker, progress);
        return worker.device();
    }
    AndroidConnectWithWiFiThread worker(m_line.value(QStringLiteral("wifi")), &progress);
    runWorker(worker, progress);
    return worker.device();
}

QString CommandRunner::loadDevice(AndroidDevice& device)
{
    device.mmc = countryForLoad(device.mmc, m_line.value(QStringLiteral("country")));
    if (device.mmc.isEmpty())
        throw failure(QStringLiteral("Failed to load country code from your phone. Give one with --country MCC."));
    ConsoleProgress progress;
    AndroidLoadSMSThread worker(device, &progress);
    runWorker(worker, progress);

    return loadSummary(worker, device);
}

int CommandRunner::devices()
{
    // As the window's device monitor does: a server started by the listing itself would announce
    // that on standard error, which the listing takes for a failure.
    startServer();
    for (const AdbDevice& device : listDevices())
        printFields({ device.serial, device.state });
    return 0;
}

int CommandRunner::load()
{
    checkCountryOption();
    AndroidDevice device = connectDevice();
    printResult(loadDevice(device));
    return 0;
}

int CommandRunner::backup()
{
    const QString name = m_line.value(QStringLiteral("to"));
    const QDir target = databaseFolder(name);
    checkCountryOption();

    QList<_MsgMessage*> messages;
    if (m_line.has(QStringLiteral("from"))) {
        messages = readMessages(localDatabaseSource(existingDatabase(m_line.value(QStringLiteral("from")))));
    } else {
        AndroidDevice device = connectDevice();
        loadDevice(device);
        messages = readMessages(deviceCacheSource(device));
    }

    // A database this run creates goes again when the run does not complete: "every database as
    // before the run" includes not having one.
    const bool existed = target.exists();
    ConsoleProgress progress;
    BackupSMSThread worker(messages, target, QString(), &progress);
    try {
        runWorker(worker, progress);
    } catch (...) {
        if (!existed)
            removeFolderTree(target.absolutePath());
        throw;
    }
    printResult(QStringLiteral("Backed up %1 messages into %2: %3 new, %4 already there.")
                    .arg(messages.size())
                    .arg(name)
                    .arg(worker.addedMessages())
                    .arg(worker.knownMessages()));
    return 0;
}

int CommandRunner::list()
{
    if (m_line.positional.isEmpty()) {
        int status = 0;
        const QDir databases = localDatabasesDir();
        const QStringList names = databases.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        // Said on standard error, so that a script reading the list still reads nothing.
        if (names.isEmpty())
            std::fputs(QStringLiteral("quillbarrow-sms: no local databases in %1\n")
                           .arg(terminalText(QDir::toNativeSeparators(databases.absolutePath())))
                           .toLocal8Bit()
                           .constData(),
                stderr);
        for (const QString& name : names) {
            try {
                printFields({ name, QString::number(countMessages(QDir(databases.filePath(name)))) });
            } catch (const std::exception& error) {
                const QString text
                    = QStringLiteral("quillbarrow-sms: %1: %2\n")
                          .arg(terminalText(name), terminalText(QString::fromUtf8(error.what()), LineBreaks::Keep));
                std::fputs(text.toLocal8Bit().constData(), stderr);
                status = 1;
            }
        }
        return status;
    }

    readMessages(localDatabaseSource(existingDatabase(m_line.positional.first())));
    QList<const _MsgChat*> chats;
    for (const _MsgChat* chat : m_collection.chats())
        chats << chat;
    std::stable_sort(chats.begin(), chats.end(), [](const _MsgChat* a, const _MsgChat* b) {
        return a->_last != b->_last ? a->_last > b->_last : a->chat_identifier < b->chat_identifier;
    });
    for (const _MsgChat* chat : std::as_const(chats)) {
        const QString newest = chat->messages.isEmpty()
            ? QString()
            : messageDateTime(chat->_last).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        printFields(
            { chat->chat_identifier, QString::number(chat->messages.size()), newest, chatDisplayName(*chat, false) });
    }
    return 0;
}

int CommandRunner::exportMessages()
{
    const QString formatName = m_line.value(QStringLiteral("format"));
    const bool evidence = m_line.has(QStringLiteral("evidence"));
    const ExportFormat* format = exportFormatByName(formatName, evidence);
    if (!format && !exportFormatByName(formatName, false))
        throw UsageError(QStringLiteral("--format takes %1, not \"%2\".").arg(exportFormatChoices(), formatName));
    if (!format)
        throw UsageError(QStringLiteral("--evidence goes with --format %1 only.").arg(evidenceFormatNames()));
    MessageFilter filter;
    if (m_line.has(QStringLiteral("since")))
        filter.since = dateBound(QStringLiteral("since"), m_line.value(QStringLiteral("since")));
    if (m_line.has(QStringLiteral("until")))
        filter.until = dateBound(QStringLiteral("until"), m_line.value(QStringLiteral("until")));
    const QString name = m_line.positional.first();
    const QDir folder = existingDatabase(name);

    QList<_MsgMessage*> messages = readMessages(localDatabaseSource(folder));
    if (m_line.has(QStringLiteral("chat"))) {
        filter.chatIdentifier = m_line.value(QStringLiteral("chat"));
        const auto chats = m_collection.chats();
        if (std::none_of(chats.cbegin(), chats.cend(),
                [&](const _MsgChat* chat) { return chat->chat_identifier == filter.chatIdentifier; }))
            throw failure(QStringLiteral("There is no conversation \"%1\" in %2.").arg(filter.chatIdentifier, name));
    }
    messages = filter.apply(std::move(messages));
    if (messages.isEmpty())
        throw failure(QStringLiteral("No messages to export."));

    const QString path = QFileInfo(m_line.value(QStringLiteral("out"))).absoluteFilePath();
    if (!isValidExportPath(path))
        throw UsageError(QCoreApplication::translate("LocalDbSelForm", "IDS_INVALID_LOCALDB_NAME"));
    ConsoleProgress progress;
    ExportSMSThread worker(messages, path, format->code, true, &progress);
    worker.setSource({ ExportSource::Kind::Database, name, IOS6MessageDb(folder, QString(), false).dbPath() });
    worker.setEvidence(format->evidence);
    runWorker(worker, progress);
    printResult(progress.successText(), LineBreaks::Keep);
    return 0;
}

int CommandRunner::importXml()
{
    const QString name = m_line.value(QStringLiteral("to"));
    const QDir target = databaseFolder(name);
    checkCountryOption();
    const QString file = m_line.positional.first();
    if (!QFileInfo(file).isFile())
        throw failure(QStringLiteral("There is no file \"%1\".").arg(file));

    ConsoleProgress progress;
    // The import removes a database it created when it does not complete.
    XmlImportThread worker(
        QFileInfo(file).absoluteFilePath(), target, m_line.value(QStringLiteral("country")), &progress);
    runWorker(worker, progress);
    QString result = QStringLiteral("Imported %1 messages into %2: %3 new, %4 already there.")
                         .arg(worker.messagesRead())
                         .arg(name)
                         .arg(worker.newMessages())
                         .arg(worker.presentMessages());
    if (worker.repeatedMessages() != 0)
        result += QStringLiteral(" %1 repeated in the file.").arg(worker.repeatedMessages());
    if (worker.skippedMessages() != 0)
        result += QStringLiteral(" %1 without a usable date skipped.").arg(worker.skippedMessages());
    if (!worker.countryNote().isEmpty())
        result += QLatin1Char(' ') + worker.countryNote();
    printResult(result);
    return 0;
}

int CommandRunner::restore()
{
    checkCountryOption();
    const QList<_MsgMessage*> messages = readMessages(localDatabaseSource(existingDatabase(m_line.positional.first())));
    AndroidDevice device = connectDevice();
    // The phone's cache must hold what the phone holds, or the transfer would send it again.
    loadDevice(device);
    ConsoleProgress progress;
    AndroidRestoreSMSThread worker(device, messages, &progress);
    runWorker(worker, progress);
    printResult(progress.successText(), LineBreaks::Keep);
    return 0;
}
