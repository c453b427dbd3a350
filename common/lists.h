/*
 * Comma-separated lists in an argument, as -columns, -mnu and -column
 * NAME1,NAME2 take them: every item, empty ones too, in order.
 */
#pragma once

#include <cstring>

/* Calls each(item, length) with each item of text in turn, until one call
 * returns false; returns whether every call returned true. */
template <typename Each>
inline bool
each_item(const char *text, Each each)
{
	for (const char *p = text;; p++) {
		std::size_t len = std::strcspn(p, ",");
		if (!each(p, len))
			return false;
		p += len;
		if (!*p)
			return true;
	}
}
