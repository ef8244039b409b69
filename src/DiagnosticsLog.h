#pragma once

#include <QDebug>

// Every line of the self-test and its probes carries the same prefix, whichever
// class writes it.
#define DIAG_LOG(level) level().noquote().nospace() << "[Diagnostics] "
