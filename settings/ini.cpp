// Placeholder until this module is built.
