// The record table store in one include.
#pragma once

#include "store/bound_view.h"
#include "store/data_source.h"
#include "store/date_format.h"
#include "store/errors.h"
#include "store/field.h"
#include "store/mem_table.h"
#include "store/record.h"
#include "store/types.h"
