#include "missing_device_text.h"

QString missingDeviceText(const PortReport& report)
{
    return QStringLiteral(u"Zařízení %1 neexistuje. Připojte převodník a zvolte linku znovu, "
                          u"nebo opravte proměnnou ZELVAX_COM%2.")
        .arg(report.device, QString::number(report.port));
}
