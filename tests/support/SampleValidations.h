#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// One validation result as the validator service publishes it, in the transaction
// form the panel reads ("result", "type", "fareProductName", "passengerTypeName",
// "card" or "barcode", "denyReason").
struct SampleValidation
{
    QString name; // file-name part, e.g. "valid-2-epurse"
    QString screen; // the outcome screen the panel shows for it
    bool barcode; // published on the barcode topic rather than the card topic
    QJsonObject transaction;

    // The topic under the validator's base topic, and the message sent on it.
    QString topic(const QString& base = QStringLiteral("vexa/blm")) const;
    QByteArray message() const;
};

// The one set of sample validations: the screenshots, the tests, the simulator's
// --samples (and so the soak and the benchmark) take theirs from here. Product and
// passenger names follow the locale: Greek for "el...", English otherwise.
namespace samples {

// A ticket of every type, accepted.
QList<SampleValidation> valid(const QString& locale);
// The same tickets refused as already validated (ids 103 and 207).
QList<SampleValidation> alreadyValid(const QString& locale);
// Refusals for a few reasons.
QList<SampleValidation> refused(const QString& locale);
// Every ticket accepted and refused in turn, so that each one changes the screen.
QList<SampleValidation> inTurn(const QString& locale);

} // namespace samples
