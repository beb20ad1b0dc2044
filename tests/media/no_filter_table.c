/* A loadable module that is no plug-in: it exports no GetFilterTable. */
int kinetra_not_a_filter(void) { return 0; }
