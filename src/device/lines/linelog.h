#pragma once

#include <QLoggingCategory>

// What the line has to say about itself: a port entry that cannot be used, a
// server that does not set its serial port. Printed on standard error by
// default, as "qv718.line: ..."; QT_LOGGING_RULES="qv718.line=false" silences
// it.
Q_DECLARE_LOGGING_CATEGORY(LineLog)
