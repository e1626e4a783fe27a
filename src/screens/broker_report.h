// The $30 broker report on one company.
#pragma once

// 1 when a report was bought and shown, 0 otherwise.
int buy_broker_report();
