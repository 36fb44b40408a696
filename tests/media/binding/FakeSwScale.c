/* Stands in for the scaling library but lacks sws_getCachedContext. */
void sws_getContext(void) {}
void sws_freeContext(void) {}
void sws_scale(void) {}
