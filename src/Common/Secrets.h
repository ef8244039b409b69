#pragma once

#include <QJsonValue>
#include <QString>

namespace manager {

// What a secret's value is replaced with in log text and in the published
// configuration. Fixed width: the length of a secret is a secret too.
extern const QString kSecretMask;

// True for a JSON member or settings key that holds a secret: "password",
// "obu_password", "settingsPin", or any name ending in "password" or "Pin". A
// settings key ("mqtt/password") is judged by its part after the last slash.
bool isSecretName(const QString& name);

// The value with the value of every secret member, at any depth, masked; empty
// secrets stay empty so an unset one still reads as unset.
QJsonValue maskSecrets(const QJsonValue& value);

// Log text with every secret masked. JSON is walked member by member; any other
// text (a truncated payload, "key=value" lines) has secret-named values masked
// wherever a name is followed by ':' or '='.
QString maskSecrets(const QString& text);

} // namespace manager
