#include "rfidsimulator.h"

#include "model/reporter.h"
#include "platform/serialcontrol.h"
#include "protocol/rfid.h"
#include "serial/serialportcontroller.h"
#include "widgets/controls.h"

#include <QCheckBox>

using namespace Qt::StringLiterals;

namespace kalveno {

RfidView RfidView::find(const QWidget *form)
{
    return {.SW_TOURNRFID = control<QCheckBox>(form, "SW_TOURNRFID"),
            .SW_TOURNRFID_CARTE = controlArray<QCheckBox, 5>(form, "SW_TOURNRFID_CARTE")};
}

RfidSimulator::RfidSimulator(const RfidView &view, SerialControl &serial,
                             SerialPortController &port, Reporter &reporter)
    : m_view(view)
    , m_serial(serial)
    , m_port(port)
    , m_reporter(reporter)
{}

bool RfidSimulator::isOn() const
{
    return m_view.SW_TOURNRFID->isChecked();
}

void RfidSimulator::answer(QByteArrayView received)
{
    const rfid::Request request = rfid::classify(received);
    switch (request.kind) {
    case rfid::Request::AntennaSelect:
        reply(rfid::antennaSelectedReply());
        m_antenna = quint8(request.antenna);
        break;
    case rfid::Request::CardQuery: {
        const auto &cards = m_view.SW_TOURNRFID_CARTE;
        const bool onAll = cards[0]->isChecked();
        const bool onCurrent = m_antenna >= 1 && m_antenna <= 4 && cards[m_antenna]->isChecked();
        reply(onAll || onCurrent ? rfid::cardReply() : rfid::noCardReply());
        break;
    }
    case rfid::Request::Other:
        break;
    }
}

void RfidSimulator::reply(const QByteArray &frame)
{
    if (!m_serial.output(frame))
        m_reporter.report(u"RFID reply not sent: %1"_s.arg(m_serial.lastError()));
}

void RfidSimulator::SW_TOURNRFID_Click()
{
    // The reader's line runs at 19200 baud; unticking does not go back.
    m_port.setLineSettings(u"19200,N,8,1"_s,
                           u"the RFID reader simulator runs the line at 19200,N,8,1"_s);
}

} // namespace kalveno
