#pragma once
// The folder of the debug logs that the driver and the front ends share ("Debug.conf", the
// driver's log, the data source's logs and debug images). A program that sets VANTREL_LOG_ROOT
// gets that folder instead, so that tests run side by side with one each.
#define VANTREL_LOG_ROOT_DEFAULT "/tmp/DrvLog/"
#define VANTREL_LOG_ROOT_VARIABLE "VANTREL_LOG_ROOT"
