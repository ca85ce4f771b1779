#pragma once

// Turns what waits at the port into the current reading, the records, the three field texts
// and the caption, or into the error display. Runs when the read timer fires.

#include "monitor_context.h"

#include <QString>
#include <QStringView>

inline const QString unitText = QStringLiteral(u" \u00B0C");
inline const QString errorText = QStringLiteral(u"Error");
inline const QString captionPrefix = QStringLiteral(u"ZELVAX   ");

// A reading text is accepted on its second character alone: a digit, a full stop or a minus.
[[nodiscard]] bool isAcceptedReading(QStringView text);

void runReadingHandler(MonitorContext& context);
