/* Test module: "Configure" without "Process". */
int Configure(void** context, int argc, char** argv, int last_arg) {
  (void)context;
  (void)argc;
  (void)argv;
  (void)last_arg;
  return 0;
}
