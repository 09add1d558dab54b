#include "device/lines/linelog.h"

Q_LOGGING_CATEGORY(LineLog, "qv718.line")
