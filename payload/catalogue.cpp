#include "payload/catalogue.h"

const PayloadEntry kPayloadCatalogue[kPayloadCount] = {
    {101, "qmx.ua.kyt.ctrl.exe", 0},  // the control program
    {102, "qmx.ua.kyt.exe", 0},       // the server
};
