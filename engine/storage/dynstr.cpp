namespace dynstr {

void UnitInit() {}
void UnitDone() {}

}  // namespace dynstr
