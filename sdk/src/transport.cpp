#include "transport.h"

namespace ups {

ResultCode openTransportLine(MasterInstance* instance, const LineSettings& settings,
                             PortSlot** port, TimerSlot** timer) {
    takeStackLock();
    ResultCode rc =
        openPort(port, settings.portNumber, settings.baud, settings.dataBits, settings.parity,
                 settings.stopBits, instance, settings.hook, settings.detectMode);
    if (rc == Success) {
        *timer = startTimerService()
                     ? takeTimerSlot(settings.timerMs, settings.timerCallback, instance)
                     : nullptr;
        if (*timer == nullptr) {
            closePort(*port);
            *port = nullptr;
            rc = NoResource;
        }
    }
    giveStackLock();
    return rc;
}

ResultCode endExchange(PortSlot* port, TimerSlot* timer, ResultCode rc) {
    takeStackLock();
    ResultCode txRc = setTransmitSource(port, nullptr);
    ResultCode rxRc = setReceiveSink(port, nullptr);
    ResultCode timerRc = stopTimer(timer);
    giveStackLock();
    if (timerRc != Success) return timerRc;
    if (rxRc != Success) return rxRc;
    if (txRc != Success) return txRc;
    return rc;
}

ResultCode releaseTransportLine(PortSlot* port, TimerSlot* timer) {
    takeStackLock();
    ResultCode rc = Success;
    if (port != nullptr) {
        rc = closePort(port) == Success ? Success : PortError;
        if (rc == Success) freeTimerSlot(timer);
    }
    giveStackLock();
    return rc;
}

void bindTransport(MasterInstance* instance, void* transport, PortSlot* port, uint8_t* pdu,
                   SendFrameOp send, ReceiveFrameOp receive, CloseTransportOp close) {
    takeStackLock();
    instance->transport = transport;
    instance->port = port;
    instance->pdu = pdu;
    instance->sendFrame = send;
    instance->receiveFrame = receive;
    instance->closeTransport = close;
    giveStackLock();
}

}  // namespace ups
