#include "device/ports/portservice.h"

#include "device/protocol/commands.h"

bool PortService::writeCommand(const QByteArray &frame)
{
    if (!write(frame))
        return false;
    emit commandSent(frame);
    return true;
}

namespace Ports {

void SendCommand(PortService &Comm, quint8 code, QByteArrayView payload)
{
    if (Comm.isOpen())
        (void)Comm.writeCommand(Frames::CommandFrame(code, payload));
}

} // namespace Ports
