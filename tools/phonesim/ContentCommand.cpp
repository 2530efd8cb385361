// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/ContentCommand.h"

#include "tools/phonesim/AdbDeviceState.h"
#include "tools/phonesim/MessageStore.h"
#include "tools/phonesim/PhoneProviders.h"
#include "tools/phonesim/SqlQuery.h"

#include <QRegularExpression>

#include <atomic>

namespace {

const char usage[] = "usage: adb shell content [subcommand] [options]\n"
                     "\n"
                     "usage: adb shell content query --uri <URI> [--user <USER_ID>] [--projection <PROJECTION>] "
                     "[--where <WHERE>] [--sort <SORT_ORDER>] [--extra <BINDING>...]\n"
                     "  <PROJECTION> is a list of colon separated column names and is formatted:\n"
                     "  <COLUMN_NAME>[:<COLUMN_NAME>...]\n"
                     "  <SORT_ORDER> is the order in which rows in the result should be sorted.\n"
                     "\n"
                     "usage: adb shell content read --uri <URI> [--user <USER_ID>]\n"
                     "\n";

const QString illegalArgument = QStringLiteral("java.lang.IllegalArgumentException");

struct Request
{
    QString operation;
    QString uri;
    QStringList projection;
    QString where;
    QString sort;
};

struct UsageError
{
    QString message;
};

// How the tool reads its arguments: an option's value may be neither empty nor start with "--".
Request parseArguments(const QStringList& args)
{
    Request request;
    request.operation = args.value(0);
    if (request.operation != QLatin1String("query") && request.operation != QLatin1String("read")) {
        throw UsageError {
            QStringLiteral("Unsupported operation: %1").arg(args.isEmpty() ? QStringLiteral("null") : request.operation)
        };
    }
    static const QRegularExpression projectionSeparator(QStringLiteral("\\s*:\\s*"));
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& option = args.at(i);
        const bool queryOnly = option == QLatin1String("--projection") || option == QLatin1String("--where")
            || option == QLatin1String("--sort") || option == QLatin1String("--extra");
        if (option != QLatin1String("--uri") && option != QLatin1String("--user")
            && (!queryOnly || request.operation != QLatin1String("query")))
            throw UsageError { QStringLiteral("Unsupported argument: ") + option };
        const QString value = args.value(++i);
        if (value.isEmpty() || value.startsWith(QLatin1String("--")))
            throw UsageError { QStringLiteral("No value for argument: ") + option };
        if (option == QLatin1String("--uri")) {
            request.uri = value;
        } else if (option == QLatin1String("--user")) {
            bool ok = false;
            value.toInt(&ok);
            if (!ok)
                throw UsageError { QStringLiteral("For input string: \"%1\"").arg(value) };
        } else if (option == QLatin1String("--projection")) {
            // Java's split drops the empty strings at the end.
            request.projection = value.split(projectionSeparator);
            while (request.projection.size() > 1 && request.projection.last().isEmpty())
                request.projection.removeLast();
        } else if (option == QLatin1String("--where")) {
            request.where = value;
        } else if (option == QLatin1String("--sort")) {
            request.sort = value;
        } else if (value.split(QLatin1Char(':')).size() != 3) {
            throw UsageError { QStringLiteral("Binding not well formed: ") + value };
        }
    }
    if (request.uri.isEmpty())
        throw UsageError { QStringLiteral("Content provider URI not specified. Did you specify --uri argument?") };
    return request;
}

// The provider class and the permission that guard each authority the phone has.
QPair<QString, QString> providerOf(const QString& authority)
{
    if (authority == QLatin1String("sms"))
        return { QStringLiteral("com.android.providers.telephony.SmsProvider"),
            QStringLiteral("android.permission.READ_SMS") };
    if (authority == QLatin1String("mms"))
        return { QStringLiteral("com.android.providers.telephony.MmsProvider"),
            QStringLiteral("android.permission.READ_SMS") };
    if (authority == QLatin1String("com.android.contacts"))
        return { QStringLiteral("com.android.providers.contacts.ContactsProvider2"),
            QStringLiteral("android.permission.READ_CONTACTS") };
    return {};
}

// The stack under an exception that crossed the binder from the provider into the tool.
QByteArray remoteStack(const Request& request)
{
    const bool read = request.operation == QLatin1String("read");
    QByteArray stack = "\tat android.os.Parcel.createExceptionOrNull(Parcel.java:3069)\n"
                       "\tat android.os.Parcel.createException(Parcel.java:3053)\n"
                       "\tat android.os.Parcel.readException(Parcel.java:3036)\n";
    if (read) {
        stack += "\tat "
                 "android.database.DatabaseUtils.readExceptionWithFileNotFoundExceptionFromParcel(DatabaseUtils.java:"
                 "151)\n"
                 "\tat android.content.ContentProviderProxy.openFile(ContentProviderNative.java:772)\n"
                 "\tat com.android.commands.content.Content$ReadCommand.onExecute(Content.java:628)\n";
    } else {
        stack += "\tat android.database.DatabaseUtils.readExceptionFromParcel(DatabaseUtils.java:190)\n"
                 "\tat android.database.DatabaseUtils.readExceptionFromParcel(DatabaseUtils.java:142)\n"
                 "\tat android.content.ContentProviderProxy.query(ContentProviderNative.java:479)\n"
                 "\tat com.android.commands.content.Content$QueryCommand.onExecute(Content.java:674)\n";
    }
    return stack;
}

const QByteArray localStack = "\tat com.android.commands.content.Content$Command.execute(Content.java:525)\n"
                              "\tat com.android.commands.content.Content.main(Content.java:741)\n"
                              "\tat com.android.internal.os.RuntimeInit.nativeFinishInit(Native Method)\n"
                              "\tat com.android.internal.os.RuntimeInit.main(RuntimeInit.java:355)\n";

QByteArray formatRows(const ProviderTable& table, const SqlQuery& query)
{
    const QList<qsizetype> rows = query.rows();
    if (rows.isEmpty())
        return QByteArrayLiteral("No result found.\n");
    QList<QByteArray> names;
    for (const QString& name : query.names())
        names.append(name.toUtf8() + '=');
    QByteArray out;
    out.reserve(rows.size() * 64);
    for (qsizetype index = 0; index < rows.size(); ++index) {
        out += "Row: ";
        out += QByteArray::number(index);
        out += ' ';
        for (qsizetype c = 0; c < names.size(); ++c) {
            if (c > 0)
                out += ", ";
            out += names.at(c);
            const SqlValue value = table.value(rows.at(index), query.columns().at(c));
            switch (value.type) {
            case SqlValue::Type::Null:
                out += "NULL";
                break;
            case SqlValue::Type::Integer:
                out += QByteArray::number(value.integer);
                break;
            case SqlValue::Type::Text:
                out += value.text.toUtf8();
                break;
            case SqlValue::Type::Blob:
                out += "BLOB";
                break;
            }
        }
        out += '\n';
    }
    return out;
}

} // namespace

ShellResult runContentCommand(const AdbDeviceState& state, const QStringList& args)
{
    ShellResult result;
    Request request;
    try {
        request = parseArguments(args);
    } catch (const UsageError& error) {
        result.out = QByteArray(usage) + "\n[ERROR] " + error.message.toUtf8() + '\n';
        return result;
    }

    static const QRegularExpression uriPattern(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://([^/?#]*)([^?#]*)"));
    const QRegularExpressionMatch parts = uriPattern.match(request.uri);
    const QString authority = parts.hasMatch() ? parts.captured(1) : QStringLiteral("null");
    const QStringList path = parts.captured(2).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const auto [providerClass, permission] = providerOf(authority);
    try {
        if (providerClass.isEmpty()) {
            result.err = "Error while accessing provider:" + authority.toUtf8() + "\njava.lang.IllegalStateException: "
                + "Could not find provider: " + authority.toUtf8() + '\n' + localStack;
            return result;
        }
        if (state.deniedAuthorities.contains(authority) || state.deniedAuthorities.contains(QLatin1String("all"))) {
            static std::atomic<int> pid { 11402 };
            throw ProviderError(QStringLiteral("java.lang.SecurityException"),
                QStringLiteral("Permission Denial: reading %1 uri %2 from pid=%3, uid=2000 requires %4, or "
                               "grantUriPermission()")
                    .arg(providerClass, request.uri)
                    .arg(pid++)
                    .arg(permission));
        }
        const PhoneProviders providers(
            state.messages ? state.messages->snapshot() : QList<SimMessage>(), state.ownNumber);
        if (request.operation == QLatin1String("read")) {
            result.out = providers.file(authority, path, request.uri);
            return result;
        }
        const ProviderTable table = providers.table(authority, path, request.uri);
        const SqlQuery query(table, request.projection, request.where, request.sort);
        result.out = formatRows(table, query);
    } catch (const ProviderError& error) {
        result.err = "Error while accessing provider:" + authority.toUtf8() + '\n' + error.exceptionClass.toUtf8()
            + ": " + QByteArray(error.what()) + '\n' + remoteStack(request) + localStack;
    }
    return result;
}
