#include "missing_device_text.h"

// An adapter often gets a higher number than COM1 or COM2, the ones the menu offers: the
// user can renumber it, or name its port in the variable.
QString missingDeviceText(const PortReport& report)
{
    return QStringLiteral(u"Port %1 na tomto počítači není. Připojte převodník a zvolte linku "
                          u"znovu. Dostal-li převodník od Windows jiné číslo (Správce zařízení, "
                          u"Porty COM a LPT), změňte ho tam na COM%2, nebo nastavte proměnnou "
                          u"ZELVAX_COM%2 na jeho port, například ZELVAX_COM%2=COM5.")
        .arg(report.device, QString::number(report.port));
}

// Windows answers "access denied" both to a second program opening a port and to a user the
// port's permissions leave out; the first is by far the more common.
QString refusedDeviceText(const PortReport& report)
{
    return QStringLiteral(u"Port %1 Windows odmítl otevřít: nejspíš ho právě používá jiný "
                          u"program (terminál, program výrobce převodníku). Ukončete ho a "
                          u"zvolte linku znovu. Nepomůže-li to, nemá tento uživatel k portu "
                          u"přístup.")
        .arg(report.device);
}
