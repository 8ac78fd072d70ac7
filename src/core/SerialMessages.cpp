#include "SerialMessages.h"

#include <array>

namespace core {

namespace {

constexpr std::array<SerialMessage, 21> Messages{{
    {8000, "Operation not valid, because port is opened", 48},
    {8001, "Timeout zero value", 48},
    {8002, "Error Comm: Port Number Invalid", 16},
    {8003, "Property available only at runtime", 48},
    {8004, "Property is read only at runtime", 48},
    {8005, "This Port already open by another process, use other port", 48},
    {8006, "The device identifier is invalid", 48},
    {8007, "The device baud rate not supported", 48},
    {8008, "The specified byte size is invalid", 48},
    {8009, "The default parameters are in error", 48},
    {8010, "The hardware locked by another device", 48},
    {8011, "The function cannot allocate the queues", 48},
    {8012, "Port Not Open", 48},
    {8013, "Port Already Open", 48},
    {8014, "Comm notification not enable", 48},
    {8015, "Could not set comm state", 48},
    {8016, "Could not set comm event mask", 48},
    {8018, "Operation valid only when port is  open", 48},
    {8019, "Device Busy", 48},
    {8020, "Error reading comm port", 48},
    {8021, "Internal error comm port control", 16},
}};

} // namespace

const SerialMessage* FindSerialMessage(int number) {
    for (const SerialMessage& message : Messages) {
        if (message.number == number) {
            return &message;
        }
    }
    return nullptr;
}

} // namespace core
