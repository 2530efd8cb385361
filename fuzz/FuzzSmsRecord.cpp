// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/SmsRecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The payload of a "$sms:" line, as the line reader hands it over: one character per byte. The whole
// record and the steps the loading thread takes one by one must agree.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString payload = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<SmsRecord> record = SmsRecord::parse(payload);

    SmsRecord::Fields fields;
    if (SmsRecord::split(payload, fields) != record.has_value())
        std::abort();
    if (!record)
        return 0;
    qint32 date = 0;
    const SmsRecord::DateOutcome outcome = SmsRecord::convertDate(fields[0], date);
    QByteArray buffer;
    if (outcome != record->dateOutcome || (outcome != SmsRecord::DateOutcome::NotANumber && date != record->date)
        || SmsRecord::fromMe(fields[1]) != record->isFromMe || SmsRecord::decodeText(fields[4], buffer) != record->text)
        std::abort();
    return 0;
}
