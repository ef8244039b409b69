#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

class GuiRig;

namespace fuzz {

// Creates the application object once (a GUI one when asked, on the offscreen
// platform) and silences Qt's messages unless TICORA_FUZZ_VERBOSE is set: a
// target logs on nearly every input and the output would cost more than the run.
void init(bool gui = false);

// A folder of the process's own, removed at exit.
QString scratchDir();

// Writes bytes to a file, replacing it.
void writeFile(const QString& path, const QByteArray& bytes);

// The tests' GUI rig (a GUIManager on a fake broker connection) in the scratch
// folder, built on first use and kept: it owns a QML engine, far too costly to build
// per input. Logging stays off and the device id file stays in the scratch folder
// whatever the input sets.
GuiRig& gui();

// Runs queued calls and pending deletions, as the event loop would between messages.
void drain();

struct Message
{
    QString topic;
    QByteArray payload;
};

// Splits an input into messages, separated by the byte 0x1e. A message's first
// byte picks its topic: '0'-'9' and 'a'-'z' index the given topics (wrapping), '/'
// takes the rest of that line as the topic itself, any other byte indexes by its
// value. The rest is the payload.
QList<Message> messages(const uint8_t* data, size_t size, const QStringList& topics);

} // namespace fuzz
