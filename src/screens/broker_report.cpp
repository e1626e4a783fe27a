// The $30 broker report.
#include "screens/broker_report.h"

int buy_broker_report() {
    return 0;
}
